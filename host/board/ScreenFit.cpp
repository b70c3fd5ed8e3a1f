#include "ScreenFit.h"

#include <algorithm>


static void
AppendFitted(const std::string& line, size_t columns, std::string& output)
{
	size_t start = 0;
	while (line.size() - start > columns) {
		size_t end = line.rfind(' ', start + columns);
		if (end == std::string::npos || end <= start) {
			// One word wider than the window: cut where it must be.
			output.append(line, start, columns);
			output += '\n';
			start += columns;
			continue;
		}
		output.append(line, start, end - start);
		output += '\n';
		start = line.find_first_not_of(' ', end);
		if (start == std::string::npos)
			return;
	}
	output.append(line, start, std::string::npos);
}


std::string
ScreenFit::Wrapped(const std::string& text, int32 columns)
{
	if (columns <= 0)
		return text;
	std::string output;
	size_t start = 0;
	while (start <= text.size()) {
		size_t end = text.find('\n', start);
		if (end == std::string::npos) {
			AppendFitted(text.substr(start), (size_t)columns, output);
			break;
		}
		AppendFitted(text.substr(start, end - start), (size_t)columns,
			output);
		output += '\n';
		start = end + 1;
	}
	return output;
}


int32
ScreenFit::ColumnsFor(int32 reported)
{
	if (reported <= 0)
		return kDefaultColumns;
	return std::max(reported, kNarrowestColumns);
}

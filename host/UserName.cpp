#include "UserName.h"

#include <Errors.h>
#include <StorageDefs.h>

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>


static const int kAliasLine = 7;
static const size_t kMaxDropFileSize = 64 * 1024;


static status_t
Refuse(BString* problem, const char* what)
{
	if (problem != NULL)
		problem->SetTo(what);
	return B_BAD_DATA;
}


status_t
ParseDropFileUser(const char* content, size_t size, BString* userName,
	BString* problem)
{
	int line = 1;
	size_t start = 0;
	for (size_t i = 0; i <= size; i++) {
		if (i < size && content[i] != '\n')
			continue;
		if (line == kAliasLine) {
			size_t end = i;
			if (end > start && content[end - 1] == '\r')
				end--;
			std::string alias(content + start, end - start);
			// Drop files written by hand often carry stray blanks.
			size_t first = alias.find_first_not_of(" \t");
			size_t last = alias.find_last_not_of(" \t");
			if (first == std::string::npos)
				return Refuse(problem, "the alias is empty");
			alias = alias.substr(first, last - first + 1);
			UserNameProblem judged = JudgeUserName(alias.data(),
				alias.size());
			if (judged != UserNameProblem::kNone) {
				BString what("\"");
				what << EscapedUserName(alias.data(), alias.size())
					<< "\" cannot be a user name: the name "
					<< DescribeUserNameProblem(judged);
				return Refuse(problem, what.String());
			}
			*userName = BString(alias.c_str());
			return B_OK;
		}
		line++;
		start = i + 1;
	}
	return Refuse(problem, "the file has no seventh line");
}


status_t
ReadDropFileUser(const char* path, BString* userName, BString* problem)
{
	int file = open(path, O_RDONLY | O_CLOEXEC);
	if (file < 0)
		return status_from_errno(errno);

	std::string content;
	char buffer[4096];
	while (content.size() < kMaxDropFileSize) {
		ssize_t bytesRead = read(file, buffer, sizeof(buffer));
		if (bytesRead < 0 && errno == EINTR)
			continue;
		if (bytesRead < 0) {
			status_t status = status_from_errno(errno);
			close(file);
			return status;
		}
		if (bytesRead == 0)
			break;
		content.append(buffer, (size_t)bytesRead);
	}
	close(file);
	return ParseDropFileUser(content.data(), content.size(), userName,
		problem);
}

#include "EchoScreen.h"

#include <ctype.h>


std::string
EchoScreen::Echo(const char* keys, size_t size)
{
	std::string echo;
	for (size_t i = 0; i < size; i++) {
		if (keys[i] == '\r')
			echo += "\r\n";
		else
			echo += char(toupper((unsigned char)keys[i]));
	}
	return echo;
}


std::string
EchoScreen::WindowLine(int32 columns, int32 rows)
{
	return "Window " + std::to_string(columns) + "x" + std::to_string(rows)
		+ "\r\n";
}

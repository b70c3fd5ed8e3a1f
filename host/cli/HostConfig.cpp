#include "HostConfig.h"

#include "HostOptions.h"

#include <Errors.h>

#include <toml++/toml.h>

#include <errno.h>
#include <string.h>


static BString
Mistake(const char* path, const toml::source_region& where, const char* key,
	const char* what)
{
	BString mistake(path);
	mistake << ":" << (int32)where.begin.line << ": ";
	if (key != NULL)
		mistake << key << ": ";
	mistake << what;
	return mistake;
}


// One [[boards]] table.
static status_t
ReadBoard(const char* path, const toml::node& node, RloginBoards* boards,
	BString* error)
{
	const toml::table* table = node.as_table();
	if (table == NULL) {
		*error = Mistake(path, node.source(), "boards",
			"each board is a table ([[boards]])");
		return B_BAD_DATA;
	}
	RloginBoards::Entry entry;
	for (const auto& [key, value] : *table) {
		std::string name(key.str());
		if (name == "tag" && value.is_string())
			entry.tag = value.as_string()->get().c_str();
		else if (name == "secret" && value.is_string())
			entry.secret = value.as_string()->get();
		else if ((name == "address" || name == "addresses")
			&& value.is_string()) {
			entry.addresses.push_back(value.as_string()->get());
		} else if (name == "addresses" && value.is_array()) {
			for (const toml::node& address : *value.as_array()) {
				if (!address.is_string()) {
					*error = Mistake(path, address.source(), "addresses",
						"an address is a string");
					return B_BAD_DATA;
				}
				entry.addresses.push_back(address.as_string()->get());
			}
		} else if (name == "max-callers" && value.is_integer()) {
			int64_t limit = value.as_integer()->get();
			entry.maxCallers = limit < 1 || limit > 100000 ? 0
				: (int32)limit;
		} else {
			*error = Mistake(path, value.source(), name.c_str(),
				"a board has a tag, a secret, addresses and max-callers");
			return B_BAD_DATA;
		}
	}
	BString problem;
	if (boards->Add(entry, &problem) != B_OK) {
		*error = Mistake(path, node.source(), "boards", problem.String());
		return B_BAD_DATA;
	}
	return B_OK;
}


status_t
ReadHostConfig(const char* path, std::vector<std::string>* arguments,
	BString* error)
{
	RloginBoards boards;
	return ReadHostConfig(path, arguments, &boards, error);
}


status_t
ReadHostConfig(const char* path, std::vector<std::string>* arguments,
	RloginBoards* boards, BString* error)
{
	toml::table table;
	try {
		table = toml::parse_file(path);
	} catch (const toml::parse_error& failure) {
		if (failure.source().begin.line == 0) {
			error->SetTo(path);
			*error << ": " << strerror(errno);
			return B_ENTRY_NOT_FOUND;
		}
		*error = Mistake(path, failure.source(), NULL,
			std::string(failure.description()).c_str());
		return B_BAD_DATA;
	}

	for (const auto& [key, node] : table) {
		std::string name(key.str());
		if (name == "boards" && node.is_array()) {
			for (const toml::node& board : *node.as_array()) {
				status_t status = ReadBoard(path, board, boards, error);
				if (status != B_OK)
					return status;
			}
			continue;
		}
		std::string option = "--" + name;
		std::vector<std::string> setting;
		// A flag the host has on by default is turned off by its "--no-"
		// option (spy-notice = false); false is nothing for the others.
		bool negation = false;
		if (const toml::value<bool>* flag = node.as_boolean()) {
			if (flag->get())
				setting.push_back(option);
			else {
				setting.push_back("--no-" + name);
				negation = true;
			}
		} else if (const toml::value<int64_t>* number = node.as_integer()) {
			setting = { option, std::to_string(number->get()) };
		} else if (const toml::value<std::string>* text = node.as_string()) {
			setting = { option, text->get() };
		} else if (name == "trusted-proxy" && node.is_array()) {
			// A repeatable option: each string as one more of it.
			for (const toml::node& item : *node.as_array()) {
				if (!item.is_string()) {
					*error = Mistake(path, item.source(), name.c_str(),
						"each proxy is a string");
					return B_BAD_DATA;
				}
				setting.push_back(option);
				setting.push_back(item.as_string()->get());
			}
		} else {
			*error = Mistake(path, node.source(), name.c_str(),
				"a setting is a string, a whole number or true or false");
			return B_BAD_DATA;
		}

		// Judged as the option on a command line of its own, so that the
		// file and the command line follow the same rules. The mode comes
		// from the command line, never from the file.
		std::vector<const char*> line = { "zenbo", "--host" };
		for (const std::string& word : setting)
			line.push_back(word.c_str());
		HostOptions scratch;
		BString problem;
		bool isMode = name == "host" || name == "stdio" || name == "local"
			|| name == "make-volume" || name == "help" || name == "config";
		if (isMode) {
			*error = Mistake(path, node.source(), name.c_str(),
				"not a setting: give it on the command line");
			return B_BAD_DATA;
		}
		if (negation && ParseHostOptions((int)line.size(), line.data(),
				&scratch, &problem) != B_OK) {
			continue;
		}
		if (!setting.empty() && ParseHostOptions((int)line.size(),
				line.data(), &scratch, &problem) != B_OK) {
			if (strncmp(problem.String(), "unknown argument", 16) == 0)
				problem = "no such setting";
			*error = Mistake(path, node.source(), name.c_str(),
				problem.String());
			return B_BAD_DATA;
		}
		arguments->insert(arguments->end(), setting.begin(), setting.end());
	}
	return B_OK;
}

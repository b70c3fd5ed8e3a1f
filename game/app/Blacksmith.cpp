#include "VraskThread.h"

#include <File.h>
#include <List.h>
#include <String.h>

#include <stdlib.h>

#include <string>

#include "BlacksmithShop.h"
#include "DataFileLog.h"
#include "DataLineReader.h"
#include "GameLimits.h"
#include "VraskPaths.h"


namespace {

// The names of the items read so far, in file order, so that the chosen
// item's name can be taken by its number. The names are owned here and
// freed however the visit ends, also when the host reports the user gone
// and the session's thread unwinds from inside an exchange.
class ItemNames {
public:
								ItemNames() = default;
								ItemNames(const ItemNames&) = delete;
			ItemNames&			operator=(const ItemNames&) = delete;
								~ItemNames();

			void				Add(const BString& name);
			// The name of item number `number`, counted from 1.
			const BString&		NameOf(int32 number) const;

private:
			BList				fNames;
};


ItemNames::~ItemNames()
{
	for (int32 i = 0; i < fNames.CountItems(); i++)
		delete static_cast<BString*>(fNames.ItemAt(i));
}


void
ItemNames::Add(const BString& name)
{
	fNames.AddItem(new BString(name));
}


const BString&
ItemNames::NameOf(int32 number) const
{
	return *static_cast<const BString*>(fNames.ItemAt(number - 1));
}


// An item file's line as the shop shows it: every byte but NUL.
BString
ItemText(const std::string& line)
{
	BString text;
	for (char byte : line)
		text += byte;
	return text;
}


// The first fault that a visit meets in its item file, told to the log once
// the visit has read what it needs. Players see what the shop makes of the
// file; the sysop learns from the log what to mend.
class ItemFileCheck {
public:
								ItemFileCheck(const char* path)
									:
									fPath(path)
								{
								}

			// Notes what a read of the reader's current line gave; true
			// when it gave a line the shop takes.
			bool				Check(const DataLineReader& reader,
									DataLineReader::Result result,
									int32 itemNumber, int32 itemCount);
			void				Fault(int32 line, const BString& problem);
			void				Tell() const;

private:
			const char*			fPath;
			int32				fLine = 0;
			BString				fProblem;
};


bool
ItemFileCheck::Check(const DataLineReader& reader,
	DataLineReader::Result result, int32 itemNumber, int32 itemCount)
{
	BString problem;
	switch (result) {
		case DataLineReader::Result::kLine:
			return true;
		case DataLineReader::Result::kCutOff:
			// The shop has always sold a last item without its line feed.
			Fault(reader.LineNumber(), "the file ends inside the line, "
				"without its line feed: it may be cut off");
			return true;
		case DataLineReader::Result::kEnd:
			if (itemNumber == 0)
				problem << "the file is empty: it needs its count of items";
			else {
				problem << "the file ends before item " << itemNumber
					<< " of the " << itemCount << " that it counts";
			}
			break;
		case DataLineReader::Result::kTooLong:
			problem << "the line is longer than "
				<< DataLineReader::kLongestLine << " bytes";
			break;
		case DataLineReader::Result::kError:
			problem << "cannot be read: " << strerror_status(reader.Error());
			break;
	}
	Fault(reader.LineNumber(), problem);
	return false;
}


void
ItemFileCheck::Fault(int32 line, const BString& problem)
{
	if (fProblem.Length() > 0)
		return;
	fLine = line;
	fProblem = problem;
}


void
ItemFileCheck::Tell() const
{
	if (fProblem.Length() > 0)
		DataFileLog::ReportBroken(fPath, fPath, fLine, fProblem);
	else
		DataFileLog::ReportSound(fPath);
}

}	// namespace


void
VraskThread::BuyItem(bool weapons)
{
	const char* path = weapons ? kWeaponsFile : kArmorFile;
	BFile itemFile(path, B_READ_ONLY);
	status_t status = itemFile.InitCheck();
	if (status != B_OK) {
		// Without its item file the shop has nothing to list or to sell.
		DataFileLog::ReportBroken(path, path, 0,
			BString("cannot be opened: ") << strerror_status(status));
		SendString("\nThe blacksmith's shop is closed today.");
		return;
	}

	DataLineReader reader(itemFile);
	ItemFileCheck check(path);
	std::string text;
	long count = 0;
	if (check.Check(reader, reader.ReadLine(&text), 0, 0)) {
		const char* start = text.c_str();
		char* end = NULL;
		count = strtol(start, &end, 10);
		if (end == start)
			check.Fault(reader.LineNumber(), "no count of items on the line");
	}

	int32 strength = weapons ? fPlayer.GetWeaponStr() : fPlayer.GetArmorStr();
	BlacksmithShop shop(
		weapons ? BlacksmithShop::Kind::kWeapons : BlacksmithShop::Kind::kArmor,
		strength, count);

	ItemNames names;
	for (int32 number = 1; number <= shop.Limit(); number++) {
		if (!check.Check(reader, reader.ReadLine(&text), number,
				ClampedToInt32(count))) {
			shop.ItemsEndedAt(number - 1);
			break;
		}
		BString line = ItemText(text);
		names.Add(line);
		if (!shop.IsShown(number))
			continue;

		SendString("\n(");
		SendNumber(number);
		SendString(") ");
		SendString(line);
		SendString(" : ");
		BString price;
		price << shop.ListingPrice(number - 1);
		SendString(price);
		if (shop.IsCurrent(number))
			SendString(" *** ");
	}
	// The file is not needed while the player thinks it over.
	itemFile.Unset();
	check.Tell();

	SendString("\n\nWhich would you like to buy?");
	long choice = strtol(GetString().String(), NULL, 10);
	switch (shop.Judge(choice)) {
		case BlacksmithShop::Verdict::kNoSuchItem:
			SendString("???");
			return;
		case BlacksmithShop::Verdict::kNotBetter:
			SendString("\nYou don't really want that one.  You've got a better "
				"one!");
			return;
		case BlacksmithShop::Verdict::kBeyondAnyPurse:
			// No character can carry that much gold, so the answer is the
			// one every player short of the price hears.
			SendString("\nYou don't have that kind of cash!");
			return;
		case BlacksmithShop::Verdict::kOffer:
			break;
	}

	int32 number = int32(choice);
	int32 price = int32(shop.Price(number));
	// The gold goes before the player confirms, and comes back if they
	// decline; a hang-up in between ends the session unsaved, so the file
	// keeps the gold.
	if (!fPlayer.SpendGold(price)) {
		SendString("\nYou don't have that kind of cash!");
		return;
	}

	const BString& name = names.NameOf(number);
	SendString("\nAre you sure you want to buy that ");
	SendString(name);
	SendString("? (y/n) ");
	char key = GetChar();
	if (key == 'y' || key == 'Y') {
		if (weapons)
			fPlayer.SetWeapon(name, number);
		else
			fPlayer.SetArmor(name, number);
		SendString("\nThanks for buying that old ");
		SendString(name);
		SendString(".  I didn't want it anyway.");
	} else {
		SendString("\nThen why did you ask for it in the first place?");
		fPlayer.AddGold(price);
	}
}

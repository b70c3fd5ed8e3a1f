#include <List.h>

#include <stdlib.h>
#include <string.h>


BList::BList(int32 blockSize)
	:
	fBlockSize(blockSize > 0 ? blockSize : 1)
{
}


BList::BList(const BList& other)
	:
	fBlockSize(other.fBlockSize)
{
	*this = other;
}


BList::~BList()
{
	free(fObjectList);
}


BList&
BList::operator=(const BList& other)
{
	if (this == &other)
		return *this;

	fBlockSize = other.fBlockSize;
	if (!_Resize(other.fItemCount)) {
		// Out of memory: an empty list is the honest result, not a partial copy.
		free(fObjectList);
		fObjectList = nullptr;
		fPhysicalSize = 0;
		fItemCount = 0;
		return *this;
	}
	if (other.fItemCount > 0)
		memcpy(fObjectList, other.fObjectList, (size_t)other.fItemCount * sizeof(void*));
	fItemCount = other.fItemCount;
	return *this;
}


bool
BList::AddItem(void* item)
{
	return AddItem(item, fItemCount);
}


bool
BList::AddItem(void* item, int32 index)
{
	if (index < 0 || index > fItemCount || fItemCount == INT32_MAX)
		return false;
	if (!_Resize(fItemCount + 1))
		return false;

	if (index < fItemCount) {
		memmove(fObjectList + index + 1, fObjectList + index,
			(size_t)(fItemCount - index) * sizeof(void*));
	}
	fObjectList[index] = item;
	fItemCount++;
	return true;
}


bool
BList::RemoveItem(void* item)
{
	int32 index = IndexOf(item);
	if (index < 0)
		return false;
	RemoveItem(index);
	return true;
}


void*
BList::RemoveItem(int32 index)
{
	if (index < 0 || index >= fItemCount)
		return nullptr;

	void* item = fObjectList[index];
	fItemCount--;
	if (index < fItemCount) {
		memmove(fObjectList + index, fObjectList + index + 1,
			(size_t)(fItemCount - index) * sizeof(void*));
	}
	// Shrinking can only fail to give memory back; the items stay intact.
	_Resize(fItemCount);
	return item;
}


void
BList::MakeEmpty()
{
	fItemCount = 0;
	_Resize(0);
}


void*
BList::ItemAt(int32 index) const
{
	if (index < 0 || index >= fItemCount)
		return nullptr;
	return fObjectList[index];
}


void*
BList::FirstItem() const
{
	return ItemAt(0);
}


void*
BList::LastItem() const
{
	return ItemAt(fItemCount - 1);
}


int32
BList::IndexOf(void* item) const
{
	for (int32 i = 0; i < fItemCount; i++) {
		if (fObjectList[i] == item)
			return i;
	}
	return -1;
}


bool
BList::HasItem(void* item) const
{
	return IndexOf(item) >= 0;
}


int32
BList::CountItems() const
{
	return fItemCount;
}


bool
BList::IsEmpty() const
{
	return fItemCount == 0;
}


int32
BList::BlockSize() const
{
	return fBlockSize;
}


int32
BList::PhysicalSize() const
{
	return fPhysicalSize;
}


// Sets the storage to the smallest whole number of blocks that holds count
// items. A list that empties gives its storage back entirely.
bool
BList::_Resize(int32 count)
{
	int64 blocks = ((int64)count + fBlockSize - 1) / fBlockSize;
	int64 newSize = blocks * fBlockSize;
	if (newSize > INT32_MAX)
		return false;
	if (newSize == fPhysicalSize)
		return true;

	if (newSize == 0) {
		free(fObjectList);
		fObjectList = nullptr;
		fPhysicalSize = 0;
		return true;
	}

	void** newList = (void**)realloc(fObjectList, (size_t)newSize * sizeof(void*));
	if (newList == nullptr)
		return newSize < fPhysicalSize;
	fObjectList = newList;
	fPhysicalSize = (int32)newSize;
	return true;
}

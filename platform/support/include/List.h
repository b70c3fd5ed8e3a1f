#pragma once

#include <SupportDefs.h>

// An ordered list of untyped pointers. Storage grows and shrinks in blocks of
// the size given at construction. The list never owns what its items point
// to: whoever adds an item deletes it.
class B_EXPORT BList {
public:
								BList(int32 blockSize = 20);
								BList(const BList& other);
								~BList();

			BList&				operator=(const BList& other);

	// Adding and removing
			bool				AddItem(void* item);
			bool				AddItem(void* item, int32 index);
			bool				RemoveItem(void* item);
			void*				RemoveItem(int32 index);
			void				MakeEmpty();

	// Reading
			void*				ItemAt(int32 index) const;
			void*				FirstItem() const;
			void*				LastItem() const;
			int32				IndexOf(void* item) const;
			bool				HasItem(void* item) const;
			int32				CountItems() const;
			bool				IsEmpty() const;
			int32				BlockSize() const;
			// Slots allocated, always a whole number of blocks.
			int32				PhysicalSize() const;

private:
			bool				_Resize(int32 count);

			void**				fObjectList = nullptr;
			int32				fPhysicalSize = 0;
			int32				fItemCount = 0;
			int32				fBlockSize = 20;
};

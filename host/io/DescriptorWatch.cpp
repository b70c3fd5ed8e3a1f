#include "DescriptorWatch.h"


DescriptorWatch::DescriptorWatch(BLooper& looper, int descriptor,
	BLooper::DescriptorHook hook)
	:
	fLooper(looper),
	fDescriptor(descriptor),
	fHook(std::move(hook))
{
}


status_t
DescriptorWatch::Set(uint32 events)
{
	if (events == fEvents)
		return B_OK;
	Stop();
	if (events == 0)
		return B_OK;
	status_t status = fLooper.WatchDescriptor(fDescriptor, events, fHook);
	if (status == B_OK)
		fEvents = events;
	return status;
}


void
DescriptorWatch::Stop()
{
	if (fEvents == 0)
		return;
	fLooper.UnwatchDescriptor(fDescriptor);
	fEvents = 0;
}

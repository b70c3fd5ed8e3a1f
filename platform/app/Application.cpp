#include <Application.h>

#include "ApplicationPrivate.h"
#include "LooperPrivate.h"
#include "Registration.h"

#include <map>
#include <mutex>
#include <stdio.h>
#include <stdlib.h>
#include <string>

using namespace BPrivate;


BApplication* be_app = NULL;


static std::mutex sLocalLock;
// Guarded by sLocalLock.
static std::map<std::string, std::weak_ptr<LooperPort>> sLocalApplications;


std::shared_ptr<LooperPort>
BPrivate::find_local_application(const char* signature)
{
	std::lock_guard<std::mutex> lock(sLocalLock);
	auto found = sLocalApplications.find(signature);
	if (found == sLocalApplications.end())
		return nullptr;
	return found->second.lock();
}


struct BApplication::Private {
	std::string				signature;
	status_t				status = B_NO_INIT;
	Registration			registration;
	std::mutex				lock;
	bool					registered = false;
};


BApplication::BApplication(const char* signature)
	:
	BApplication(signature, NULL)
{
}


BApplication::BApplication(const char* signature, status_t* error)
	:
	BLooper(signature),
	fApplication(new Private)
{
	fApplication->signature = signature != NULL ? signature : "";
	status_t status = fPrivate->InitCheck();
	if (status == B_OK)
		status = fApplication->registration.Register(signature);
	if (status == B_OK)
		status = fPrivate->SetListener(fApplication->registration.Listener());
	if (status == B_OK) {
		fApplication->registered = true;
		std::lock_guard<std::mutex> lock(sLocalLock);
		sLocalApplications[fApplication->signature] = fPrivate->Port();
	} else
		fApplication->registration.Unregister();
	fApplication->status = status;
	fPrivate->SetFinishHook([this] { _Unregister(); });

	be_app = this;
	if (error != NULL)
		*error = status;
}


BApplication::~BApplication()
{
	if (fPrivate->IsRunning())
		fPrivate->Quit();
	_Unregister();
	fPrivate->SetFinishHook(nullptr);
	if (be_app == this)
		be_app = NULL;
	delete fApplication;
}


status_t
BApplication::InitCheck() const
{
	return fApplication->status;
}


const char*
BApplication::Signature() const
{
	return fApplication->signature.c_str();
}


thread_id
BApplication::Run()
{
	if (fApplication->status != B_OK)
		return fApplication->status;
	if (fPrivate->HasRun()) {
		fprintf(stderr, "application kit: an application was run twice\n");
		abort();
	}
	thread_id thread = current_thread_id();
	fPrivate->RunLoop([this] { ReadyToRun(); });
	return thread;
}


void
BApplication::Quit()
{
	BLooper::Quit();
}


void
BApplication::ReadyToRun()
{
}


void
BApplication::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}


bool
BApplication::QuitRequested()
{
	return BLooper::QuitRequested();
}


void
BApplication::_Unregister()
{
	// Messengers in this team stop finding the application before other
	// applications do, and both before the signature is free again.
	std::lock_guard<std::mutex> lock(fApplication->lock);
	if (!fApplication->registered)
		return;
	fApplication->registered = false;
	{
		std::lock_guard<std::mutex> localLock(sLocalLock);
		auto found = sLocalApplications.find(fApplication->signature);
		if (found != sLocalApplications.end()
			&& found->second.lock() == fPrivate->Port())
			sLocalApplications.erase(found);
	}
	fApplication->registration.Unregister();
}

#pragma once

#include <Looper.h>

// The looper of an application, known to every other application on the
// boot volume by its signature. Only one running application holds a
// signature at a time; a second one fails InitCheck with B_NAME_IN_USE.
// Run runs the message loop on the calling thread and returns after Quit.
class B_EXPORT BApplication : public BLooper {
public:
								BApplication(const char* signature);
								BApplication(const char* signature,
									status_t* error);
	virtual						~BApplication();

			status_t			InitCheck() const;
			const char*			Signature() const;

	virtual	thread_id			Run() override;
	virtual	void				Quit() override;
	// Called on the looper's thread before the first message.
	virtual	void				ReadyToRun();
	virtual	void				MessageReceived(BMessage* message) override;
	virtual	bool				QuitRequested() override;

private:
			void				_Unregister();

			struct Private;
			Private*			fApplication = nullptr;
};

extern B_EXPORT BApplication* be_app;

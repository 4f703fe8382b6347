// A plug-in that takes the session and offers no window: for the host's handling of a
// window the library it loaded does not provide.
extern "C" __attribute__((visibility("default"))) void Initialize(void*) {}

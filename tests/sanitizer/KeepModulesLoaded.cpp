// Linked into every executable of the sanitizer build (see cmake/Sanitizers.cmake).
//
// The leak check runs at exit, after Qt and libvlc have unloaded their plugins. An unloaded
// library takes its globals with it, so whatever it allocated at load time and kept only
// there turns into a leak "from <unknown module>" that no suppression can name. Keeping
// every library mapped leaves those roots in place and every frame symbolized; libvlccore
// does the same when it is itself built with AddressSanitizer.
extern "C" int dlclose(void* /*handle*/)
{
    return 0;
}

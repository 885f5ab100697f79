// A library the tests load at run time as the program loads fbclient.dll.
extern "C" __declspec(dllexport) int library_probe_answer() {
    return 42;
}

// A library that another test library needs beside it (Windows only).
extern "C" __declspec(dllexport) int TestCompanion_Answer() { return 42; }

// A library that imports from test_companion.dll, which ships beside it (Windows only).
extern "C" __declspec(dllimport) int TestCompanion_Answer();
extern "C" __declspec(dllexport) int TestNeedsCompanion_Answer() { return TestCompanion_Answer() + 1; }

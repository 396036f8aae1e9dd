// The demo's library: a real DLL the updater keeps current by its version resource.
extern "C" __declspec(dllexport) int BrinquetToolVersion() { return 2; }

#pragma once
// Qt's fontconfig font engine keeps the fallback fonts it matched (QFontEngineMultiFontConfig::
// getMatchPatternForFallback) for the life of the process and never frees them; LeakSanitizer
// reports that at exit once a text needed a fallback font (SVG pictures' text does). That cache
// is not ours to mend, so it alone is suppressed. Fontconfig is built without frame pointers, so
// the stacks the fuzzer's fast unwinder records end inside it and never reach the Qt function:
// the suppression names the library that holds every block of that cache. Any leak of ours or of
// Qt's own allocations still stops a fuzz run.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so.1\n";
}

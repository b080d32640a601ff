#pragma once
// Qt's fontconfig font engine keeps the fallback fonts it matched for the life of the process and
// never frees them; LeakSanitizer reports that at exit once a text needed a fallback font (SVG
// pictures' text does). That one cache is not ours to mend, so it alone is suppressed, by the
// function that fills it; any other leak still stops a fuzz run.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:QFontEngineMultiFontConfig::getMatchPatternForFallback\n";
}

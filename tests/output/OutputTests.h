#pragma once
// Each group of output tests runs from one executable; each returns QTest's failure count.
int RunInsertTests(int argc, char** argv);
int RunComposeTests(int argc, char** argv);
int RunPrintTests(int argc, char** argv);
int RunExportTests(int argc, char** argv);
int RunEditFormTests(int argc, char** argv);
int RunSampleOutputTests(int argc, char** argv);

#pragma once
// The QtTest classes of the analysis layer, run one after the other by one executable.
namespace hv::test {
int RunSheetsTests(int argc, char** argv);
int RunPupilFormTests(int argc, char** argv);
int RunCommandsTests(int argc, char** argv);
int RunMarkImportTests(int argc, char** argv);
int RunLibreOfficeTests(int argc, char** argv);
}  // namespace hv::test

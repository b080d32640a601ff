#pragma once
// Each command family's tests run from one executable; each returns QTest's failure count.
int RunFrameworkTests(int argc, char** argv);
int RunDocumentCommandTests(int argc, char** argv);
int RunEditCommandTests(int argc, char** argv);
int RunBrowseCommandTests(int argc, char** argv);
int RunSearchViewDerivedTests(int argc, char** argv);
int RunRandomCommandTests(int argc, char** argv);

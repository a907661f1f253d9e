// The mutation runner's self-test: a file with exactly two mutants. Dropping the assignment is
// seen by two_mutants_test.cpp; emptying the text is seen by nothing, since nothing reads it.
const char* const kReadByNoOne = "read by no one";

void Mark(bool& flag) { flag = true; }

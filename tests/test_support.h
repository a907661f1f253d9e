#pragma once

// The generic helpers and Form1's view together, for the tests of Form1 that include them under
// this one name.
#include "form1_view.h"
#include "test_helpers.h"

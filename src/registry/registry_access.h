#pragma once

// The registry is one of the platform's services; its interface lives in the platform layer.
// This name is kept only for code that still includes it under the old folder.
#include "platform/registry_access.h"

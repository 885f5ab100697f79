#pragma once

#include "tests/support/databases.h"

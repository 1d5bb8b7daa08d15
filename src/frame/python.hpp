// The one place that includes Python.h (limited API, set by the build).
#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

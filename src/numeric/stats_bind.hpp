// Entry points for statistics, vectors and edit distance.
#pragma once
#include "frame/python.hpp"

namespace qv::numeric::bind {
extern PyMethodDef levenshtein, mean, variance, std_dev, dot_product, matmul;
}

// Entry points for k-means, the square-matrix routines and pairwise
// distances.
#pragma once
#include "frame/python.hpp"

namespace qv::ml::bind {
extern PyMethodDef kmeans, pairwise_manhattan, pairwise_cosine, determinant, matrix_inverse;
}

#include "ml/ml_bind.hpp"

#include "frame/binding.hpp"
#include "isa/lanes.hpp"
#include "ml/kmeans.hpp"
#include "ml/pairwise.hpp"
#include "ml/square_matrix.hpp"

namespace qv::ml::bind {
namespace {

using arg::Float, arg::Float64Matrix, arg::Size;
using MatrixA = P<Float64Matrix, "matrix_a">;
using MatrixB = P<Float64Matrix, "matrix_b">;

SquareMatrix square(Matrix& rows) {
    auto m = to_square_matrix(std::move(rows));
    if (!m) value_error("Matrix must be square.");
    return std::move(*m);
}

// The square check runs with the lock held; a 1x1 determinant is its element
// (a NaN made the canonical one) and never releases the lock.
double determinant_entry(Matrix& rows) {
    SquareMatrix m = square(rows);
    if (m.n == 1) return isa::canonical_nan(m.a[0]);
    ReleasedLock unlocked;
    return ml::determinant(std::move(m));
}

Matrix matrix_inverse_entry(Matrix& rows) {
    SquareMatrix m = square(rows);
    ReleasedLock unlocked;
    return ml::matrix_inverse(std::move(m));
}

}  // namespace

PyMethodDef kmeans = Function<"kmeans", Lock::Released, ml::kmeans, P<Float64Matrix, "data">, P<Size, "k">,
                              P<Size, "max_iters">, P<Float, "tolerance">>::def("kmeans(data, k, max_iters, tolerance)\n--\n\n");
PyMethodDef pairwise_manhattan = Function<"pairwise_manhattan", Lock::Released, ml::pairwise_manhattan, MatrixA,
                                          MatrixB>::def("pairwise_manhattan(matrix_a, matrix_b)\n--\n\n");
PyMethodDef pairwise_cosine = Function<"pairwise_cosine", Lock::Released, ml::pairwise_cosine, MatrixA,
                                       MatrixB>::def("pairwise_cosine(matrix_a, matrix_b)\n--\n\n");
PyMethodDef determinant =
    Function<"determinant", Lock::Held, determinant_entry, P<Float64Matrix, "matrix">>::def("determinant(matrix)\n--\n\n");
PyMethodDef matrix_inverse = Function<"matrix_inverse", Lock::Held, matrix_inverse_entry,
                                      P<Float64Matrix, "matrix">>::def("matrix_inverse(matrix)\n--\n\n");

}  // namespace qv::ml::bind

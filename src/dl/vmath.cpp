#include "dl/vmath.hpp"

namespace qv::dl::vm {

extern const double exp_upper = 710.0, exp_lower = -746.0;
extern const double tanh_hold = 19.5;

}  // namespace qv::dl::vm

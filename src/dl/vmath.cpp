#include "dl/vmath.hpp"

namespace qv::dl::vm {

extern const double exp_upper = 710.0, exp_lower = -746.0;

}  // namespace qv::dl::vm

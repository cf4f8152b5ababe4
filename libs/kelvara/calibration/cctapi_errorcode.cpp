#include "libs/kelvara/cct_params.h"

namespace kelvara {

int32_t CCTAPI_ERRORCODE = 0;

}  // namespace kelvara

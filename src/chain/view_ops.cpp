#include "chain/view_ops.h"

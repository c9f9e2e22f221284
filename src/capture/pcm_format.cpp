#include "capture/pcm_format.h"

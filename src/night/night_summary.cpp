#include "night/night_summary.h"

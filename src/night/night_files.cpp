#include "night/night_files.h"

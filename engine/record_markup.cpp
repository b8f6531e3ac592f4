#include "record_markup.h"

#include "transfer/session.h"

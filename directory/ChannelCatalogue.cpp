#include "directory/ChannelCatalogue.h"

#include "app/GlobVar.h"

TGlobVar GlobVar;

#include "app/kit/GlobVar.h"

TGlobVar GlobVar;

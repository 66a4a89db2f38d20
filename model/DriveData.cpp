#include "model/DriveData.h"

#include "model/Ata.h"
#include "model/General.h"
#include "model/NVMe.h"
#include "model/PCI.h"
#include "model/Partitions.h"
#include "model/SCSI.h"
#include "model/SDeMMC.h"
#include "model/Smart.h"
#include "model/USB.h"

namespace Applications::DriveScope {
DriveData::DriveData() = default;
DriveData::~DriveData() = default;
} // namespace Applications::DriveScope

// The plug-in archives in the program's resource table.
#include "engine/InstallRun.h"

#include <BinaryData.h>

CarriedArchives getCarriedArchives()
{
    return { { { BinaryData::vst3_zip, (size_t) BinaryData::vst3_zipSize },
               { BinaryData::clap_zip, (size_t) BinaryData::clap_zipSize },
               { BinaryData::aax_zip, (size_t) BinaryData::aax_zipSize } } };
}

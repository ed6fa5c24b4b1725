// The driver program: libindidriver's main() runs INDI's event loop on
// stdin/stdout and hands every request to the one device made here.
#include <memory>

#include "indi/stellacq_ccd.h"

namespace {

std::unique_ptr<stellacq::indi::StellacqCcd> device = std::make_unique<stellacq::indi::StellacqCcd>();

}  // namespace

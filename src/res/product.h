// Who makes the Windows programs and the product they belong to: the texts both programs'
// version resources share (brevix.rc, src/encoder/program/mp4.rc).
#pragma once

#define BREVIX_COMPANY_NAME "Quanor Telecom"
#define BREVIX_LEGAL_COPYRIGHT "Copyright (C) 2026 Quanor Telecom. All rights reserved."
#define BREVIX_PRODUCT_NAME "Quanor MPEG-4 Brevix beta"

#include "airvane/security/WepPlusAdapter.h"

IWepPlusAdapter::IWepPlusAdapter() = default;
IWepPlusAdapter::IWepPlusAdapter(const IWepPlusAdapter&) = default;
IWepPlusAdapter& IWepPlusAdapter::operator=(const IWepPlusAdapter&) = default;
IWepPlusAdapter::~IWepPlusAdapter() = default;

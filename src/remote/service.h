#pragma once
// Where remote clients find Carvo: the one definition of its port and DNS-SD service, for the
// server that announces it and the clients that browse for it. Plain C++.

#include <cstdint>

namespace carvo::remote {

inline constexpr std::uint16_t carvoPort = 54321;
inline constexpr char serviceName[] = "Carvo Server";
inline constexpr char serviceType[] = "_Carvo._tcp";
inline constexpr char serviceDomain[] = "local.";

} // namespace carvo::remote

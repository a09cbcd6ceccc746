#pragma once
// The version the build gives the application (the project's version in CMakeLists.txt).

namespace carvo {

inline constexpr char carvoVersion[] = CARVO_VERSION;

} // namespace carvo

#include "display/pin_guard.h"

namespace carvo::display {

void PINGuard::forgetOld(std::deque<double>& times, double nowSeconds) const {
    while (!times.empty() && nowSeconds - times.front() >= windowSeconds)
        times.pop_front();
}

bool PINGuard::mayTry(const std::string& address, double nowSeconds) {
    const auto found = m_wrong.find(address);
    if (found == m_wrong.end())
        return true;
    forgetOld(found->second, nowSeconds);
    if (found->second.empty()) {
        m_wrong.erase(found); // the map holds only addresses that tried lately
        return true;
    }
    return static_cast<int>(found->second.size()) < maxWrongPerWindow;
}

void PINGuard::recordWrong(const std::string& address, double nowSeconds) {
    std::deque<double>& times = m_wrong[address];
    forgetOld(times, nowSeconds);
    times.push_back(nowSeconds);
}

} // namespace carvo::display

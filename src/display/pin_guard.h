#pragma once
// Wrong PINs for the control page, counted per address: after a few within a minute the address
// may not try again until the oldest of them is a minute old. Plain C++ over a given clock, so
// tests step time by hand.

#include <deque>
#include <map>
#include <string>

namespace carvo::display {

class PINGuard {
public:
    static constexpr int maxWrongPerWindow = 5;
    static constexpr double windowSeconds = 60.0;

    // Whether the address may try a PIN at nowSeconds.
    bool mayTry(const std::string& address, double nowSeconds);
    // A wrong PIN from the address at nowSeconds.
    void recordWrong(const std::string& address, double nowSeconds);

private:
    void forgetOld(std::deque<double>& times, double nowSeconds) const;

    std::map<std::string, std::deque<double>> m_wrong;
};

} // namespace carvo::display

// The power source as every handling reads it.
#pragma once

enum class PowerSource { kMains, kBattery, kUnknown };

// GetSystemPowerStatus: mains exactly when ACLineStatus is 1; every other
// reading, 255 ("not known to the system") included, is battery. kUnknown
// only when the call itself fails, and then nothing is recorded or decided.
PowerSource ReadPowerSource();

// The power source as every handling reads it.
#pragma once

// kUnreadable is not Windows' own "unknown" line status (255): that one is a
// reading, and it counts as battery. kUnreadable means there was no reading
// at all, because GetSystemPowerStatus itself failed.
enum class PowerSource { kMains, kBattery, kUnreadable };

// GetSystemPowerStatus: mains exactly when ACLineStatus is 1; every other
// reading, 255 ("not known to the system") included, is battery. kUnreadable
// only when the call itself fails, and then nothing is recorded or decided.
PowerSource ReadPowerSource();

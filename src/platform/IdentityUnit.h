#pragma once

#include <QString>

// Local identity from the operating system.
namespace Platform {

// Host name cut to 15 characters (the length peers expect).
QString ComputerName();
// Logon name of the user running the program.
QString UserName();
// "XX-XX-XX-XX-XX-XX" of the first interface that is up, not loopback and has a
// non-zero hardware address; empty when there is none.
QString AdapterAddress();
// A random GUID in registry form: braces, upper case, 8-4-4-4-12; empty on failure.
QString NewGuid();

} // namespace Platform

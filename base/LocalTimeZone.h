#pragma once

namespace vornic {

// Without TZ in the environment the C library looks at /etc/localtime again at every conversion of a local
// time, a file-system call for each date read from the database: a report over hundreds of thousands of
// readings spent a third of its time there. Naming the same file in TZ makes the library read it once. A change
// of the machine's time zone is then seen at the next start, as most programs see it.
void settleLocalTimeZone();

} // namespace vornic

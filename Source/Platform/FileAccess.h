// Who may read a file: secret keys are kept from other users.
#pragma once

namespace Zelto
{

// Leaves the file at `path` readable and writable by its owner only: mode 0600 on POSIX. On Windows a file
// keeps the access rules of its folder (a profile folder is its user's), so this only checks it exists.
bool RestrictToOwner(const char16_t* path);

} // namespace Zelto

// The management commands of zuservice. Each opens the service control
// manager, does its one job on the service "TarnService" and prints the
// outcome on standard output; none returns a result, since the program exits
// with 0 whatever happens.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include "service/command_word.h"

namespace zu::service {

void RunCommand(CommandWord word);

void InstallService();
void QueryService();
void DescribeService();
void DisableService();
void EnableService();
void DeleteTheService();
void StartTheService();
void GrantGuestAccess();
void StopTheService();

// Rights the "dacl" command grants: start, stop, read the security
// descriptor, delete.
inline constexpr DWORD kGuestServiceRights = SERVICE_START | SERVICE_STOP | READ_CONTROL | DELETE;

// The steps of "dacl" after the service is open: read its DACL, merge one
// entry giving the trustee kGuestServiceRights, write it back. Prints the
// outcome like the command.
void GrantServiceAccess(SC_HANDLE service, TRUSTEE_W& trustee);

// Merges one SET_ACCESS entry without inheritance for the trustee into a
// copy of old (which may be null). Returns SetEntriesInAclW's result; on
// success *merged must be freed with LocalFree.
DWORD MergeAccessEntry(PACL old, TRUSTEE_W& trustee, DWORD rights, PACL* merged);

}  // namespace zu::service

/*
 * The simulated ACPI control device's registry interface, shared by the
 * driver (C) and the user-mode helpers (C++).
 *
 * Service "simacpi" (kernel driver, Start = 2), key
 * HKLM\SYSTEM\CurrentControlSet\Services\simacpi\Parameters. Values are read
 * on every request; deleting the key resets the device.
 *
 * Set by tests:
 *   Status_<id>      REG_DWORD   "DSTS" answer for device <id> (8 lower-case
 *                                hex digits); 0 when absent
 *   DevsAnswer       REG_DWORD   first word of every "DEVS" answer (default 1)
 *   Scdg_<n>         REG_BINARY  the whole "SCDG" answer for selector <n>
 *                                (decimal): 32-bit count, then the block;
 *                                absent: 516 zero bytes (count 0, no data)
 *   Refuse           REG_DWORD   non-zero: every request fails (an NTSTATUS
 *                                error value is used as the failure status)
 *   AnswerLength     REG_DWORD   cut every answer to at most this many bytes
 *
 * Recorded by the driver:
 *   RequestCount     REG_DWORD   requests received (refused ones included)
 *   LastRequest      REG_BINARY  input bytes of the last request
 *   LastIoctl        REG_DWORD   its control code
 *   LastOutputSize   REG_DWORD   the output buffer size the caller gave
 *   Devs_<id>        REG_DWORD   last value set by "DEVS" for device <id>
 *   DevsCount_<id>   REG_DWORD   number of "DEVS" requests for device <id>
 *   History          REG_BINARY  one 20-byte record per request, in order:
 *                                tag, argument length, first two argument
 *                                words (0 when missing), completion NTSTATUS
 *   HistoryOverflow  REG_DWORD   1 once History is full (it then stops)
 *   LoadCount        REG_DWORD   times the driver was loaded
 */
#ifndef ZU_SIMLAPTOP_SIM_ACPI_LAYOUT_H
#define ZU_SIMLAPTOP_SIM_ACPI_LAYOUT_H

#define SIM_ACPI_SERVICE L"simacpi"
#define SIM_ACPI_DRIVER_FILE L"simacpi.sys"
#define SIM_ACPI_SERVICE_KEY L"SYSTEM\\CurrentControlSet\\Services\\simacpi"
#define SIM_ACPI_PARAMETERS_KEY L"SYSTEM\\CurrentControlSet\\Services\\simacpi\\Parameters"

#define SIM_ACPI_DEVICE_NAME L"\\Device\\VORTAACPI"
#define SIM_ACPI_LINK_NAME L"\\DosDevices\\VORTAACPI"
#define SIM_ACPI_IOCTL 0x0022240Cu

#define SIM_ACPI_TAG_DSTS 0x53545344u /* "DSTS" */
#define SIM_ACPI_TAG_DEVS 0x53564544u /* "DEVS" */
#define SIM_ACPI_TAG_SCDG 0x47444353u /* "SCDG" */
#define SIM_ACPI_SCDG_PAYLOAD 516u
#define SIM_ACPI_OUTPUT_MAX 1024u
#define SIM_ACPI_REQUEST_MAX 4096u

#define SIM_ACPI_STATUS_PREFIX L"Status_"
#define SIM_ACPI_DEVS_PREFIX L"Devs_"
#define SIM_ACPI_DEVS_COUNT_PREFIX L"DevsCount_"
#define SIM_ACPI_SCDG_PREFIX L"Scdg_"
#define SIM_ACPI_DEVS_ANSWER L"DevsAnswer"
#define SIM_ACPI_DEVS_ANSWER_DEFAULT 1u
#define SIM_ACPI_REFUSE L"Refuse"
#define SIM_ACPI_ANSWER_LENGTH L"AnswerLength"

#define SIM_ACPI_REQUEST_COUNT L"RequestCount"
#define SIM_ACPI_LAST_REQUEST L"LastRequest"
#define SIM_ACPI_LAST_IOCTL L"LastIoctl"
#define SIM_ACPI_LAST_OUTPUT_SIZE L"LastOutputSize"
#define SIM_ACPI_HISTORY L"History"
#define SIM_ACPI_HISTORY_OVERFLOW L"HistoryOverflow"
#define SIM_ACPI_LOAD_COUNT L"LoadCount"

#define SIM_ACPI_RECORD_SIZE 20u
#define SIM_ACPI_HISTORY_MAX 1024u

#endif

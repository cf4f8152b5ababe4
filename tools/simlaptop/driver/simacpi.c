/*
 * Simulated ACPI control device: a kernel-mode driver that stands in for the
 * vendor's firmware method driver under Wine's device host.
 *
 * It creates \Device\VORTAACPI with the link \DosDevices\VORTAACPI and serves
 * the buffered control request 0x0022240C: a 32-bit method tag, a 32-bit
 * argument length, the arguments; little-endian. Everything the driver is
 * told and everything it records lives under its service key's Parameters
 * (see sim_acpi_layout.h), read and written on every request, so a test
 * configures it and reads it back through the registry.
 */
#include <ntddk.h>

#include "sim_acpi_layout.h"

#define POOL_TAG 0x6D69536Bu /* "kSim" */

static WCHAR g_parametersPath[512];
static UNICODE_STRING g_parameters;
static KMUTEX g_lock;

/* ---- small helpers (no C runtime here) -------------------------------- */

static ULONG GetLe32(const UCHAR *p) {
  return (ULONG)p[0] | (ULONG)p[1] << 8 | (ULONG)p[2] << 16 | (ULONG)p[3] << 24;
}

static void PutLe32(UCHAR *p, ULONG v) {
  p[0] = (UCHAR)v;
  p[1] = (UCHAR)(v >> 8);
  p[2] = (UCHAR)(v >> 16);
  p[3] = (UCHAR)(v >> 24);
}

/* name = prefix + 8 lower-case hex digits (or decimal when `decimal`). */
static void MakeName(WCHAR *out, const WCHAR *prefix, ULONG number, BOOLEAN decimal) {
  static const WCHAR digits[] = L"0123456789abcdef";
  WCHAR tmp[12];
  int n = 0, i = 0;
  while (*prefix) out[i++] = *prefix++;
  if (decimal) {
    do {
      tmp[n++] = digits[number % 10];
      number /= 10;
    } while (number);
    while (n) out[i++] = tmp[--n];
  } else {
    for (n = 7; n >= 0; --n) out[i++] = digits[(number >> (4 * n)) & 0xF];
  }
  out[i] = 0;
}

static NTSTATUS OpenParameters(HANDLE *key) {
  OBJECT_ATTRIBUTES attributes;
  ULONG disposition;
  InitializeObjectAttributes(&attributes, &g_parameters, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  return ZwCreateKey(key, KEY_ALL_ACCESS, &attributes, 0, NULL, REG_OPTION_NON_VOLATILE, &disposition);
}

/* Reads a value's data into a pool buffer the caller frees; NULL if absent. */
static UCHAR *QueryValue(HANDLE key, const WCHAR *name, ULONG *type, ULONG *size) {
  UNICODE_STRING valueName;
  ULONG needed = 0;
  KEY_VALUE_PARTIAL_INFORMATION *info;
  UCHAR *data;
  NTSTATUS status;

  RtlInitUnicodeString(&valueName, name);
  status = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, NULL, 0, &needed);
  if (status != STATUS_BUFFER_TOO_SMALL && status != STATUS_BUFFER_OVERFLOW) return NULL;
  info = ExAllocatePoolWithTag(PagedPool, needed, POOL_TAG);
  if (!info) return NULL;
  status = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, info, needed, &needed);
  if (!NT_SUCCESS(status)) {
    ExFreePoolWithTag(info, POOL_TAG);
    return NULL;
  }
  data = ExAllocatePoolWithTag(PagedPool, info->DataLength ? info->DataLength : 1, POOL_TAG);
  if (data) {
    RtlCopyMemory(data, info->Data, info->DataLength);
    *type = info->Type;
    *size = info->DataLength;
  }
  ExFreePoolWithTag(info, POOL_TAG);
  return data;
}

static BOOLEAN QueryDword(HANDLE key, const WCHAR *name, ULONG *value) {
  ULONG type = 0, size = 0;
  UCHAR *data = QueryValue(key, name, &type, &size);
  BOOLEAN found = FALSE;
  if (!data) return FALSE;
  if (type == REG_DWORD && size == 4) {
    *value = GetLe32(data);
    found = TRUE;
  }
  ExFreePoolWithTag(data, POOL_TAG);
  return found;
}

static void SetValue(HANDLE key, const WCHAR *name, ULONG type, const void *data, ULONG size) {
  UNICODE_STRING valueName;
  RtlInitUnicodeString(&valueName, name);
  ZwSetValueKey(key, &valueName, 0, type, (PVOID)data, size);
}

static void SetDword(HANDLE key, const WCHAR *name, ULONG value) {
  SetValue(key, name, REG_DWORD, &value, sizeof value);
}

static void Increment(HANDLE key, const WCHAR *name) {
  ULONG count = 0;
  QueryDword(key, name, &count);
  SetDword(key, name, count + 1);
}

/* Appends one record to History; stops at SIM_ACPI_HISTORY_MAX records and
 * says so in HistoryOverflow rather than dropping records silently. */
static void AppendHistory(HANDLE key, const UCHAR record[SIM_ACPI_RECORD_SIZE]) {
  ULONG type = 0, size = 0;
  UCHAR *old = QueryValue(key, SIM_ACPI_HISTORY, &type, &size);
  UCHAR *grown;
  if (!old || type != REG_BINARY) size = 0;
  size -= size % SIM_ACPI_RECORD_SIZE;
  if (size / SIM_ACPI_RECORD_SIZE >= SIM_ACPI_HISTORY_MAX) {
    SetDword(key, SIM_ACPI_HISTORY_OVERFLOW, 1);
  } else if ((grown = ExAllocatePoolWithTag(PagedPool, size + SIM_ACPI_RECORD_SIZE, POOL_TAG))) {
    if (size) RtlCopyMemory(grown, old, size);
    RtlCopyMemory(grown + size, record, SIM_ACPI_RECORD_SIZE);
    SetValue(key, SIM_ACPI_HISTORY, REG_BINARY, grown, size + SIM_ACPI_RECORD_SIZE);
    ExFreePoolWithTag(grown, POOL_TAG);
  }
  if (old) ExFreePoolWithTag(old, POOL_TAG);
}

/* ---- the firmware methods --------------------------------------------- */

/* Builds the answer in `answer` (SIM_ACPI_OUTPUT_MAX bytes) and returns its
 * length, or an error status through *status. */
static ULONG RunMethod(HANDLE key, const UCHAR *input, ULONG inputLength, UCHAR *answer, NTSTATUS *status) {
  WCHAR name[64];
  ULONG tag, length, deviceId, value = 0;

  *status = STATUS_SUCCESS;
  if (inputLength < 8) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }
  tag = GetLe32(input);
  length = GetLe32(input + 4);
  if (length != inputLength - 8) {
    *status = STATUS_INVALID_PARAMETER;
    return 0;
  }

  if (tag == SIM_ACPI_TAG_DSTS && length == 4) {
    deviceId = GetLe32(input + 8);
    MakeName(name, SIM_ACPI_STATUS_PREFIX, deviceId, FALSE);
    if (!QueryDword(key, name, &value)) value = 0;
    PutLe32(answer, value);
    return 4;
  }
  if (tag == SIM_ACPI_TAG_DEVS && length == 8) {
    deviceId = GetLe32(input + 8);
    MakeName(name, SIM_ACPI_DEVS_PREFIX, deviceId, FALSE);
    SetDword(key, name, GetLe32(input + 12));
    MakeName(name, SIM_ACPI_DEVS_COUNT_PREFIX, deviceId, FALSE);
    Increment(key, name);
    if (!QueryDword(key, SIM_ACPI_DEVS_ANSWER, &value)) value = SIM_ACPI_DEVS_ANSWER_DEFAULT;
    PutLe32(answer, value);
    return 4;
  }
  if (tag == SIM_ACPI_TAG_SCDG && length == SIM_ACPI_SCDG_PAYLOAD) {
    ULONG type = 0, size = 0;
    UCHAR *block;
    MakeName(name, SIM_ACPI_SCDG_PREFIX, GetLe32(input + 8), TRUE);
    block = QueryValue(key, name, &type, &size);
    RtlZeroMemory(answer, SIM_ACPI_SCDG_PAYLOAD);
    if (!block) return SIM_ACPI_SCDG_PAYLOAD; /* count 0: no data */
    if (size > SIM_ACPI_OUTPUT_MAX) size = SIM_ACPI_OUTPUT_MAX;
    RtlCopyMemory(answer, block, size);
    ExFreePoolWithTag(block, POOL_TAG);
    return size;
  }
  *status = STATUS_INVALID_PARAMETER;
  return 0;
}

static NTSTATUS HandleControl(ULONG code, UCHAR *buffer, ULONG inputLength, ULONG outputLength, ULONG_PTR *returned) {
  HANDLE key;
  NTSTATUS status;
  ULONG refuse = 0, limit, answerLength = 0;
  UCHAR record[SIM_ACPI_RECORD_SIZE];
  UCHAR *answer;

  *returned = 0;
  if (!NT_SUCCESS(OpenParameters(&key))) return STATUS_DEVICE_NOT_READY;

  /* What was received, whatever happens next. */
  Increment(key, SIM_ACPI_REQUEST_COUNT);
  SetDword(key, SIM_ACPI_LAST_IOCTL, code);
  SetDword(key, SIM_ACPI_LAST_OUTPUT_SIZE, outputLength);
  SetValue(key, SIM_ACPI_LAST_REQUEST, REG_BINARY, buffer,
           inputLength > SIM_ACPI_REQUEST_MAX ? SIM_ACPI_REQUEST_MAX : inputLength);
  RtlZeroMemory(record, sizeof record);
  if (inputLength >= 4) RtlCopyMemory(record, buffer, 4);
  if (inputLength >= 8) RtlCopyMemory(record + 4, buffer + 4, 4);
  if (inputLength >= 12) RtlCopyMemory(record + 8, buffer + 8, 4);
  if (inputLength >= 16) RtlCopyMemory(record + 12, buffer + 12, 4);

  answer = ExAllocatePoolWithTag(PagedPool, SIM_ACPI_OUTPUT_MAX, POOL_TAG);
  if (!answer) {
    status = STATUS_INSUFFICIENT_RESOURCES;
  } else if (code != SIM_ACPI_IOCTL) {
    status = STATUS_INVALID_DEVICE_REQUEST;
  } else if (QueryDword(key, SIM_ACPI_REFUSE, &refuse) && refuse) {
    /* An NTSTATUS error code is used as given, anything else as a plain failure. */
    status = (refuse & 0xC0000000) == 0xC0000000 ? (NTSTATUS)refuse : STATUS_UNSUCCESSFUL;
  } else {
    answerLength = RunMethod(key, buffer, inputLength, answer, &status);
    if (NT_SUCCESS(status)) {
      if (QueryDword(key, SIM_ACPI_ANSWER_LENGTH, &limit) && limit < answerLength) answerLength = limit;
      if (outputLength < answerLength) {
        status = STATUS_BUFFER_TOO_SMALL;
      } else {
        RtlCopyMemory(buffer, answer, answerLength);
        *returned = answerLength;
      }
    }
  }
  if (answer) ExFreePoolWithTag(answer, POOL_TAG);

  PutLe32(record + 16, (ULONG)status);
  AppendHistory(key, record);
  ZwClose(key);
  return status;
}

/* ---- dispatch ---------------------------------------------------------- */

static NTSTATUS Complete(IRP *irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS WINAPI DispatchCreateClose(DEVICE_OBJECT *device, IRP *irp) {
  (void)device;
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI DispatchControl(DEVICE_OBJECT *device, IRP *irp) {
  IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  ULONG_PTR returned = 0;
  NTSTATUS status;
  (void)device;

  KeWaitForSingleObject(&g_lock, Executive, KernelMode, FALSE, NULL);
  status = HandleControl(stack->Parameters.DeviceIoControl.IoControlCode, irp->AssociatedIrp.SystemBuffer,
                         stack->Parameters.DeviceIoControl.InputBufferLength,
                         stack->Parameters.DeviceIoControl.OutputBufferLength, &returned);
  KeReleaseMutex(&g_lock, FALSE);
  return Complete(irp, status, returned);
}

static void WINAPI Unload(DRIVER_OBJECT *driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, SIM_ACPI_LINK_NAME);
  IoDeleteSymbolicLink(&link);
  if (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registryPath) {
  static const WCHAR suffix[] = L"\\Parameters";
  UNICODE_STRING deviceName, link;
  DEVICE_OBJECT *device = NULL;
  NTSTATUS status;
  HANDLE key;
  ULONG n = registryPath->Length / sizeof(WCHAR), i;

  if (n + sizeof suffix / sizeof(WCHAR) > sizeof g_parametersPath / sizeof(WCHAR)) return STATUS_NAME_TOO_LONG;
  for (i = 0; i < n; ++i) g_parametersPath[i] = registryPath->Buffer[i];
  for (i = 0; i < sizeof suffix / sizeof(WCHAR); ++i) g_parametersPath[n + i] = suffix[i];
  RtlInitUnicodeString(&g_parameters, g_parametersPath);
  KeInitializeMutex(&g_lock, 0);

  RtlInitUnicodeString(&deviceName, SIM_ACPI_DEVICE_NAME);
  status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&link, SIM_ACPI_LINK_NAME);
  /* A device host that died without unloading us (Wine's service manager
     killed with its services) leaves the link behind. */
  IoDeleteSymbolicLink(&link);
  status = IoCreateSymbolicLink(&link, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }

  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->DriverUnload = Unload;

  if (NT_SUCCESS(OpenParameters(&key))) {
    Increment(key, SIM_ACPI_LOAD_COUNT);
    ZwClose(key);
  }
  return STATUS_SUCCESS;
}

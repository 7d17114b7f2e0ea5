// The Win32 error numbers that callers of the platform layers test for.
// Callers were written against these meanings, so the layers keep them.
#pragma once

namespace platform {

constexpr int kErrorSuccess = 0;
constexpr int kErrorFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr int kErrorPathNotFound = 3;       // ERROR_PATH_NOT_FOUND
constexpr int kErrorAccessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr int kErrorInvalidHandle = 6;      // ERROR_INVALID_HANDLE
constexpr int kErrorNotEnoughMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
constexpr int kErrorInvalidData = 13;       // ERROR_INVALID_DATA
constexpr int kErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr int kErrorSemTimeout = 121;      // ERROR_SEM_TIMEOUT
constexpr int kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr int kErrorAlreadyExists = 183;    // ERROR_ALREADY_EXISTS
constexpr int kErrorBadPipe = 230;          // ERROR_BAD_PIPE
constexpr int kErrorPipeBusy = 231;         // ERROR_PIPE_BUSY
constexpr int kErrorNoData = 232;           // ERROR_NO_DATA
constexpr int kErrorPipeNotConnected = 233; // ERROR_PIPE_NOT_CONNECTED
constexpr int kErrorMoreData = 234;         // ERROR_MORE_DATA
constexpr int kErrorNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS
constexpr int kErrorKeyDeleted = 1018;      // ERROR_KEY_DELETED
constexpr int kErrorServiceAlreadyRunning = 1056;
constexpr int kErrorServiceDoesNotExist = 1060;
constexpr int kErrorServiceNotActive = 1062;
constexpr int kErrorServiceExists = 1073;

constexpr int kErrorCantRead = 1012;        // ERROR_CANTREAD
constexpr int kErrorCantWrite = 1013;       // ERROR_CANTWRITE
constexpr int kErrorRegistryCorrupt = 1015; // ERROR_REGISTRY_CORRUPT

constexpr int kErrorBrokenPipe = 109;       // ERROR_BROKEN_PIPE
constexpr int kErrorOperationAborted = 995; // ERROR_OPERATION_ABORTED

constexpr int kErrorFailedServiceControllerConnect = 1063;  // ERROR_FAILED_SERVICE_CONTROLLER_CONNECT

}  // namespace platform

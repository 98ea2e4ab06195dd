#include "handoff/handle_list_win32.h"

bool list_inherited_handles(std::vector<HANDLE>& handles, STARTUPINFOEXA& startup,
                            std::vector<char>& storage) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage.resize(size);
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size)) {
        startup.lpAttributeList = nullptr;
        return false;
    }
    for (HANDLE handle : handles) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    if (!UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                   handles.data(), handles.size() * sizeof(HANDLE), nullptr,
                                   nullptr)) {
        DeleteProcThreadAttributeList(startup.lpAttributeList);
        startup.lpAttributeList = nullptr;
        return false;
    }
    return true;
}

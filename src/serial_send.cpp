// serial-send: open COM3 exclusively, set 115200 baud 8N1, send the byte "R",
// report how many bytes went out, close the port.
//
// Exit status: 0 when the whole message was written, -1 when the port cannot
// be opened or configured, or when the write fails or falls short.

#include <stdio.h>
#include <string.h>
#include <windows.h>

int main()
{
    char message[] = "R";
    DWORD written = 0;
    const DWORD length = static_cast<DWORD>(strlen(message));
    DCB settings = {};

    HANDLE port = CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        printf("Unable to open port\n");
        return -1;
    }

    GetCommState(port, &settings);
    settings.DCBlength = sizeof settings;
    settings.BaudRate = CBR_115200;
    settings.ByteSize = 8;
    settings.StopBits = ONESTOPBIT;
    settings.Parity = NOPARITY;
    if (!SetCommState(port, &settings)) {
        printf("Unable to set port params\n");
        CloseHandle(port);
        return -1;
    }

    const BOOL sent = WriteFile(port, message, length, &written, nullptr);
    printf("Wrote %d bytes of message\n%s\n", static_cast<int>(written), message);

    CloseHandle(port);
    return sent && written == length ? 0 : -1;
}

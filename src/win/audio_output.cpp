// The sound output on Windows: waveOut plays the whole ring as one looping buffer,
// and a time-critical thread renders each block again just after it was heard.
#include <windows.h>
#include <mmsystem.h>
#undef FreeModule  // a Win16 leftover macro; the name is the music's own

#include "music/audio_ring.h"
#include "platform/audio_output.h"

static HWAVEOUT WaveDevice = nullptr;
static WAVEHDR WaveHeader;
static HANDLE AudioThreadHandle = nullptr;
static PlayedBytes Played;

static DWORD WINAPI AudioThread(LPVOID)
{
    // Named where Windows can (10 and later), for debuggers and profilers. Wine passes the
    // name on to Linux, where ./run finds the thread by it to give it the priority that
    // Wine does not; by itself, since a thread just created may not be known there yet.
    typedef HRESULT(WINAPI * NameThread)(HANDLE, PCWSTR);
    if (auto name = reinterpret_cast<NameThread>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "SetThreadDescription"))))
        name(GetCurrentThread(), L"korva audio");
    ThreadExited = 0;
    while (StopRequest.load() == 0) {
        MMTIME time = {};
        time.wType = TIME_BYTES;
        waveOutGetPosition(WaveDevice, &time, sizeof time);
        const int32_t playBlock = PlayBlockAt(AdvancePlayedBytes(Played, time.u.cb));
        while (ShouldRenderBlock(playBlock, WriteBlock)) {
            MixerBusy = 1;
            RenderBlock();
            MixerBusy = 0;
        }
        Sleep(5);
    }
    ThreadExited = 1;
    return 0;
}

bool OpenAudioOutput(int32_t rate)
{
    if (!ModuleReaderInstalled())
        return false;
    CloseAudioOutput();

    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.nAvgBytesPerSec = DWORD(rate) * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    if (waveOutOpen(&WaveDevice, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        WaveDevice = nullptr;
        return false;
    }
    SetOutputRate(rate);
    return true;
}

void CloseAudioOutput()
{
    if (!WaveDevice)
        return;
    waveOutReset(WaveDevice);
    waveOutClose(WaveDevice);
    WaveDevice = nullptr;
}

bool StartPlayback(XmModule* module)
{
    if (!module)
        return false;
    StopPlayback(module);
    if (WaveHeader.dwFlags & WHDR_INQUEUE)
        waveOutReset(WaveDevice);  // a ring from an earlier start is still looping
    if (!BeginPlayback(module))
        return false;

    WaveHeader = WAVEHDR{};
    WaveHeader.lpData = reinterpret_cast<LPSTR>(WaveRing);
    WaveHeader.dwBufferLength = DWORD(RingFrames) * 4;
    WaveHeader.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    WaveHeader.dwLoops = 0xFFFFFFFF;
    waveOutPrepareHeader(WaveDevice, &WaveHeader, sizeof WaveHeader);
    Played = PlayedBytes{};
    waveOutWrite(WaveDevice, &WaveHeader, sizeof WaveHeader);

    StopRequest = 0;
    ThreadExited = 0;  // before the thread exists, so a stop right away waits for it
    AudioThreadHandle = CreateThread(nullptr, 0, AudioThread, nullptr, 0, nullptr);
    if (!AudioThreadHandle) {
        ThreadExited = 1;
        return false;
    }
    SetThreadPriority(AudioThreadHandle, THREAD_PRIORITY_TIME_CRITICAL);
    return true;
}

bool StopPlayback(XmModule* module)
{
    if (!module)
        return false;
    StopRequest = 1;
    while (MixerBusy.load())
        ;
    if (AudioThreadHandle) {
        while (ThreadExited.load() == 0)
            Sleep(50);
        CloseHandle(AudioThreadHandle);
        AudioThreadHandle = nullptr;
    }
    EndPlayback();
    if (WaveDevice && (WaveHeader.dwFlags & WHDR_PREPARED))
        waveOutUnprepareHeader(WaveDevice, &WaveHeader, sizeof WaveHeader);
    WaveHeader.dwFlags &= ~WHDR_PREPARED;
    return true;
}

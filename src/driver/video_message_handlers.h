// The small video-message handlers that need no module of their own: the
// dialog request, the palette exchange, the error-text and API-version
// queries, and the driver's private messages 0x41F5..0x4202.
#pragma once

#include "platform/types.h"
#include "zarncap/messages.h"

// DVM_DIALOG: 0 (shown and accepted, or a query) or 17.
DWORD ShowDriverDialog(DWORD channelKind, HWND parent, DWORD flags);
// DVM_PALETTE: 0, 11 or 17.
DWORD ConfigurePalette(DWORD flags, VIDEOCONFIGPARMS* parms);
// DVM_GETERRORTEXT: empties the text and the error number; always 17.
DWORD GetErrorText(VIDEO_GETERRORTEXT_PARMS* parms);
// DVM_GETVIDEOAPIVER: 0x50 into *version; 11 without a place for it.
DWORD GetVideoApiVersion(DWORD* version);

// A private message in kPrivateFirst..kPrivateLast, except the unknown
// numbers 0x41FE..0x4200 which the dispatcher answers itself.
DWORD PrivateMessage(UINT msg, LPARAM lParam1);

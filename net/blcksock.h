#pragma once

// Module blcksock: the blocking TCP socket class, its error class and the error texts.
#include "net/SocketErrorText.h"
#include "net/SynapseError.h"
#include "net/TcpBlockSocket.h"

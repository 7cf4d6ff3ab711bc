#pragma once

// Module SynSrv: the threaded TCP server, its connections, worker threads and pool, and the
// helpers that the HTTP engine uses to send streams and compare texts.
#include "net/ServerUtils.h"
#include "net/SynThread.h"
#include "net/TcpServer.h"
#include "net/WorkerPool.h"

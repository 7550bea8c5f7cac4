// The wire protocol: framing, every packet class and file transfer.
#ifndef XRB_PROTOCOL_XRBBLD_H
#define XRB_PROTOCOL_XRBBLD_H

#include "protocol/bindatapacket.h"
#include "protocol/buildpacket.h"
#include "protocol/buildrespacket.h"
#include "protocol/bulk.h"
#include "protocol/commpacket.h"
#include "protocol/filebulk.h"
#include "protocol/filexfer.h"
#include "protocol/packet.h"
#include "protocol/textpairpacket.h"
#include "protocol/xmitbuffer.h"

#endif

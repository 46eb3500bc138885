/* SPDX-License-Identifier: Apache-2.0 */
/* What the RPCSEC_GSS interop peers share: the program and its procedures. */
#ifndef GSS_PEER_H
#define GSS_PEER_H

#define GSS_PEER_PROG 0x20004430u
#define GSS_PEER_VERS 1u
#define GSS_PEER_NULL 0u
#define GSS_PEER_ECHO 1u  /* opaque<> -> the same bytes */
#define GSS_PEER_WHOAMI 2u /* void -> "principal SERVICE" */

/* The most bytes an echo carries; transport buffers are sized for it. */
#define GSS_PEER_MAX_ECHO (200u * 1024u)
#define GSS_PEER_BUFFER (256u * 1024u)

#endif

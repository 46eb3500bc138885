// SPDX-License-Identifier: Apache-2.0
/**
 * RPCSEC_GSS on the wire: credentials, verifiers, integrity and privacy
 * bodies, the Kerberos tokens, a client's session with its contexts and a
 * server's admission of calls against a service's credential policy.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.gss;

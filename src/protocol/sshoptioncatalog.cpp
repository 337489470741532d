// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sshoptioncatalog.h"

#include <QHash>
#include <QRegularExpression>

namespace OptionCatalog
{
namespace
{
using K = ValueKind;
using C = Category;

enum Flag : unsigned {
    Single = 0,
    Repeat = 1, ///< every occurrence counts
    Block = 2, ///< allowed inside Match (server) or Host/Match (client)
    Comma = 4, ///< a list separated by commas
    Blank = 8, ///< a list separated by blanks
};

// Marks a description for extraction (Messages.sh passes N_ to xgettext); the page translates it when it shows it.
#define N_(text) text

struct Row {
    const char *keyword;
    ValueKind kind;
    unsigned flags;
    const char *defaultValue;
    const char *values;
    int since;
    int until;
    Category category;
    const char *aliases;
    const char *description;
};

// The server's keywords, in sshd_config(5)'s order. Defaults are those of `sshd -T` without a configuration.
// One row a line, whatever its length.
// clang-format off
constexpr Row ServerRows[] = {
    {"AcceptEnv", K::Patterns, Repeat | Block | Blank, "", "", 0, 0, C::Session, "", N_("Environment variables a client may send into its session")},
    {"AddressFamily", K::Choice, Single, "any", "any inet inet6", 0, 0, C::Network, "", N_("IP versions sshd listens on")},
    {"AllowAgentForwarding", K::Bool, Block, "yes", "", 0, 0, C::Forwarding, "", N_("Whether clients may forward their key agent")},
    {"AllowGroups", K::AccessPatterns, Repeat | Block, "", "", 0, 0, C::Access, "", N_("Only members of these groups may log in")},
    {"AllowStreamLocalForwarding", K::Choice, Block, "yes", "yes all no local remote", 0, 0, C::Forwarding, "", N_("Which Unix socket forwardings clients may open")},
    {"AllowTcpForwarding", K::Choice, Block, "yes", "yes all no local remote", 0, 0, C::Forwarding, "", N_("Which TCP port forwardings clients may open")},
    {"AllowUsers", K::AccessPatterns, Repeat | Block, "", "", 0, 0, C::Access, "", N_("Only these users may log in")},
    {"AuthenticationMethods", K::Patterns, Block | Blank, "any", "", 0, 0, C::Authentication, "", N_("Lists of methods a user must all pass, one list of them")},
    {"AuthorizedKeysCommand", K::Text, Block, "none", "", 0, 0, C::Authentication, "", N_("A program that prints a user's authorised keys")},
    {"AuthorizedKeysCommandUser", K::Text, Block, "none", "", 0, 0, C::Authentication, "", N_("The account the authorised keys program runs as")},
    {"AuthorizedKeysFile", K::KeyFilePatterns, Block | Blank, ".ssh/authorized_keys .ssh/authorized_keys2", "%hUu", 0, 0, C::Authentication, "", N_("Files holding a user's authorised public keys")},
    {"AuthorizedPrincipalsCommand", K::Text, Block, "none", "", 0, 0, C::Authentication, "", N_("A program that prints the certificate principals a user accepts")},
    {"AuthorizedPrincipalsCommandUser", K::Text, Block, "none", "", 0, 0, C::Authentication, "", N_("The account the principals program runs as")},
    {"AuthorizedPrincipalsFile", K::Path, Block, "none", "hUu", 0, 0, C::Authentication, "", N_("File of certificate principals a user accepts")},
    {"Banner", K::Banner, Block, "none", "", 0, 0, C::Session, "", N_("Text shown before authentication")},
    {"CASignatureAlgorithms", K::Algorithms, Block | Comma, "", "sig", 0, 0, C::Cryptography, "", N_("Signatures accepted from certificate authorities")},
    {"ChannelTimeout", K::Text, Block, "", "", 902, 0, C::Session, "", N_("Closes channels of a type that stay idle this long")},
    {"ChrootDirectory", K::Path, Block, "none", "hUu", 0, 0, C::Session, "", N_("Directory a user is locked into after login")},
    {"Ciphers", K::Algorithms, Comma, "", "cipher", 0, 0, C::Cryptography, "", N_("Ciphers allowed for the connection")},
    {"ClientAliveCountMax", K::Number, Block, "3", "0..2147483647", 0, 0, C::Network, "", N_("Unanswered keep-alive messages before sshd disconnects")},
    {"ClientAliveInterval", K::Interval, Block, "0", "0..2147483647", 0, 0, C::Network, "", N_("Idle time after which sshd checks the client is alive; 0: never")},
    {"Compression", K::Choice, Single, "yes", "yes no", 0, 0, C::Network, "", N_("Whether the connection may be compressed")},
    {"DebianBanner", K::Bool, Single, "yes", "", 0, 0, C::Session, "", N_("Whether the version sshd announces names the distribution")},
    {"DenyGroups", K::AccessPatterns, Repeat | Block, "", "", 0, 0, C::Access, "", N_("Members of these groups may not log in")},
    {"DenyUsers", K::AccessPatterns, Repeat | Block, "", "", 0, 0, C::Access, "", N_("These users may not log in")},
    {"DisableForwarding", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Turns off every kind of forwarding at once")},
    {"ExposeAuthInfo", K::Bool, Block, "no", "", 0, 0, C::Session, "", N_("Gives the session a file naming how the user authenticated")},
    {"FingerprintHash", K::Choice, Single, "SHA256", "md5 sha256", 0, 0, C::Logging, "", N_("Hash used for key fingerprints in the log")},
    {"ForceCommand", K::Text, Block, "none", "", 0, 0, C::Session, "", N_("Runs this command instead of the one the client asks for")},
    {"GatewayPorts", K::Choice, Block, "no", "no yes clientspecified", 0, 0, C::Forwarding, "", N_("Whether remote forwardings may listen on other hosts' behalf")},
    {"GSSAPIAuthentication", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Whether Kerberos tickets (GSSAPI) may log users in")},
    {"GSSAPICleanupCredentials", K::Bool, Single, "yes", "", 0, 0, C::Authentication, "", N_("Destroys the user's GSSAPI credentials at logout")},
    {"GSSAPIKexAlgorithms", K::Patterns, Comma, "", "", 0, 0, C::Cryptography, "", N_("Key exchanges offered through GSSAPI")},
    {"GSSAPIKeyExchange", K::Bool, Single, "no", "", 0, 0, C::Authentication, "", N_("Whether key exchange may use GSSAPI")},
    {"GSSAPIStoreCredentialsOnRekey", K::Bool, Single, "no", "", 0, 0, C::Authentication, "", N_("Renews stored GSSAPI credentials when the client rekeys")},
    {"GSSAPIStrictAcceptorCheck", K::Bool, Single, "yes", "", 0, 0, C::Authentication, "", N_("Whether GSSAPI must use this host's own name")},
    {"HostbasedAcceptedAlgorithms", K::Algorithms, Block | Comma, "", "key-sig", 0, 0, C::Cryptography, "HostbasedAcceptedKeyTypes", N_("Signatures accepted for host-based login")},
    {"HostbasedAuthentication", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Whether trusted client hosts may log their users in")},
    {"HostbasedUsesNameFromPacketOnly", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Trusts the host name the client sends, without a reverse look-up")},
    {"HostCertificate", K::Path, Repeat, "", "", 0, 0, C::Files, "", N_("Certificate of a host key")},
    {"HostKey", K::Path, Repeat, "", "", 0, 0, C::Files, "", N_("A private host key file")},
    {"HostKeyAgent", K::Path, Single, "none", "", 0, 0, C::Files, "", N_("Agent socket that holds the host keys")},
    {"HostKeyAlgorithms", K::Algorithms, Comma, "", "key-sig", 0, 0, C::Cryptography, "", N_("Host key signatures sshd offers")},
    {"IgnoreRhosts", K::Choice, Block, "yes", "yes no shosts-only", 0, 0, C::Authentication, "", N_("Which rhosts files host-based login ignores")},
    {"IgnoreUserKnownHosts", K::Bool, Single, "no", "", 0, 0, C::Authentication, "", N_("Ignores users' known hosts files for host-based login")},
    {"IPQoS", K::Text, Block, "lowdelay throughput", "", 0, 0, C::Network, "", N_("Traffic class of interactive and bulk connections")},
    {"KbdInteractiveAuthentication", K::Bool, Block, "yes", "", 0, 0, C::Authentication, "ChallengeResponseAuthentication SkeyAuthentication", N_("Whether keyboard-interactive login (PAM prompts) is offered")},
    {"KerberosAuthentication", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Checks passwords against Kerberos")},
    {"KerberosGetAFSToken", K::Bool, Single, "no", "", 0, 0, C::Authentication, "", N_("Gets an AFS token before the home directory is read")},
    {"KerberosOrLocalPasswd", K::Bool, Single, "yes", "", 0, 0, C::Authentication, "", N_("Falls back to the local password when Kerberos refuses")},
    {"KerberosTicketCleanup", K::Bool, Single, "yes", "", 0, 0, C::Authentication, "", N_("Destroys the user's ticket cache at logout")},
    {"KexAlgorithms", K::Algorithms, Comma, "", "kex", 0, 0, C::Cryptography, "", N_("Key exchange methods allowed")},
    {"ListenAddress", K::ListenAddresses, Repeat, "", "", 0, 0, C::Network, "", N_("Addresses sshd listens on")},
    {"LoginGraceTime", K::Interval, Single, "120", "0..2147483647", 0, 0, C::Access, "", N_("Time a client has to log in; 0: no limit")},
    {"LogLevel", K::Choice, Block, "INFO", "QUIET FATAL ERROR INFO VERBOSE DEBUG DEBUG1 DEBUG2 DEBUG3", 0, 0, C::Logging, "", N_("How much sshd logs")},
    {"LogVerbose", K::Patterns, Comma, "", "", 0, 0, C::Logging, "", N_("Source code places that log at debug level anyway")},
    {"MACs", K::Algorithms, Comma, "", "mac", 0, 0, C::Cryptography, "", N_("Message authentication codes allowed")},
    {"MaxAuthTries", K::Number, Block, "6", "1..2147483647", 0, 0, C::Access, "", N_("Authentication attempts allowed per connection")},
    {"MaxSessions", K::Number, Block, "10", "0..2147483647", 0, 0, C::Session, "", N_("Sessions allowed per network connection")},
    {"MaxStartups", K::Triple, Single, "10:30:100", "2147483647:100:2147483647", 0, 0, C::Access, "", N_("Unauthenticated connections before new ones are dropped")},
    {"ModuliFile", K::Path, Single, "/etc/ssh/moduli", "", 0, 0, C::Files, "", N_("Groups for the Diffie-Hellman group exchange")},
    {"PAMServiceName", K::Text, Block, "sshd", "", 1000, 0, C::Authentication, "", N_("Name of the PAM service sshd uses")},
    {"PasswordAuthentication", K::Bool, Block, "yes", "", 0, 0, C::Authentication, "", N_("Whether users may log in with a password")},
    {"PermitEmptyPasswords", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Whether accounts with an empty password may log in")},
    {"PermitListen", K::HostPort, Block | Blank, "any", "port", 0, 0, C::Forwarding, "", N_("Where remote port forwardings may listen")},
    {"PermitOpen", K::HostPort, Block | Blank, "any", "", 0, 0, C::Forwarding, "", N_("Where local port forwardings may connect")},
    {"PermitRootLogin", K::RootLogin, Block, "prohibit-password", "", 0, 0, C::Access, "", N_("Whether and how root may log in")},
    {"PermitTTY", K::Bool, Block, "yes", "", 0, 0, C::Session, "", N_("Whether sessions may have a terminal")},
    {"PermitTunnel", K::Choice, Block, "no", "yes point-to-point ethernet no", 0, 0, C::Forwarding, "", N_("Whether clients may open tun devices")},
    {"PermitUserEnvironment", K::Choice, Single, "no", "yes no", 0, 0, C::Session, "", N_("Whether users' environment files and key options may set variables (or a pattern list of names)")},
    {"PermitUserRC", K::Bool, Block, "yes", "", 0, 0, C::Session, "", N_("Whether a user's ~/.ssh/rc runs at login")},
    {"PerSourceMaxStartups", K::Number, Single, "none", "1..2147483647 none", 805, 0, C::Access, "", N_("Unauthenticated connections allowed from one source")},
    {"PerSourceNetBlockSize", K::Triple, Single, "32:128", "32:128", 805, 0, C::Access, "", N_("Prefix lengths that group addresses into one source")},
    {"PerSourcePenalties", K::Penalties, Single, "", "crash:i authfail:i noauth:i grace-exceeded:i refuseconnection:i max:i min:i max-sources4:n max-sources6:n overflow:m overflow6:m", 908, 0, C::Access, "", N_("How long misbehaving sources are refused")},
    {"PerSourcePenaltyExemptList", K::Patterns, Comma, "", "", 908, 0, C::Access, "", N_("Addresses never penalised")},
    {"PidFile", K::Path, Single, "/run/sshd.pid", "", 0, 0, C::Files, "", N_("File holding the daemon's process id")},
    {"Port", K::Port, Repeat, "22", "", 0, 0, C::Network, "", N_("Ports sshd listens on")},
    {"PrintLastLog", K::Bool, Single, "yes", "", 0, 0, C::Session, "", N_("Shows the time of the previous login")},
    {"PrintMotd", K::Bool, Single, "yes", "", 0, 0, C::Session, "", N_("Shows the message of the day")},
    {"PubkeyAcceptedAlgorithms", K::Algorithms, Block | Comma, "", "key-sig", 0, 0, C::Cryptography, "PubkeyAcceptedKeyTypes", N_("Signatures accepted for public key login")},
    {"PubkeyAuthentication", K::Bool, Block, "yes", "", 0, 0, C::Authentication, "DSAAuthentication", N_("Whether users may log in with a key")},
    {"PubkeyAuthOptions", K::Patterns, Block | Blank, "none", "", 0, 0, C::Authentication, "", N_("Extra demands on key login: touch-required, verify-required")},
    {"RefuseConnection", K::Bool, Block, "no", "", 909, 0, C::Access, "", N_("Refuses the connection (in a Match block)")},
    {"RekeyLimit", K::Text, Block, "0 0", "", 0, 0, C::Cryptography, "", N_("Data and time after which the session key is renewed")},
    {"RequiredRSASize", K::Number, Single, "1024", "1024..16384", 901, 0, C::Cryptography, "", N_("Smallest RSA key accepted, in bits")},
    {"RevokedKeys", K::Path, Block, "none", "", 0, 0, C::Authentication, "", N_("File of keys that may no longer log in")},
    {"SecurityKeyProvider", K::Path, Single, "internal", "", 0, 0, C::Authentication, "", N_("Library that talks to hardware security keys")},
    {"SetEnv", K::Text, Repeat | Block, "", "", 0, 0, C::Session, "", N_("Environment variables set in every session")},
    {"SshdAuthPath", K::Path, Single, "", "", 1000, 0, C::Files, "", N_("Program that runs the authentication of a connection")},
    {"SshdSessionPath", K::Path, Single, "", "", 908, 0, C::Files, "", N_("Program that runs each connection")},
    {"StreamLocalBindMask", K::Text, Block, "0177", "", 0, 0, C::Forwarding, "", N_("Permission mask of forwarded Unix sockets, in octal")},
    {"StreamLocalBindUnlink", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Removes an old socket file before forwarding to it")},
    {"StrictModes", K::Bool, Single, "yes", "", 0, 0, C::Access, "", N_("Refuses logins whose files others may write")},
    {"Subsystem", K::Subsystem, Repeat | Block, "no", "", 0, 0, C::Session, "", N_("Programs for named subsystems such as sftp")},
    {"SyslogFacility", K::Choice, Single, "AUTH", "DAEMON USER AUTH LOCAL0 LOCAL1 LOCAL2 LOCAL3 LOCAL4 LOCAL5 LOCAL6 LOCAL7", 0, 0, C::Logging, "", N_("Facility of sshd's log messages")},
    {"TCPKeepAlive", K::Bool, Single, "yes", "", 0, 0, C::Network, "KeepAlive", N_("Lets TCP detect dead connections")},
    {"TrustedUserCAKeys", K::Path, Block, "none", "", 0, 0, C::Authentication, "", N_("Authorities whose user certificates are accepted")},
    {"UnusedConnectionTimeout", K::Interval, Block, "none", "0..2147483647 none", 902, 0, C::Network, "", N_("Closes connections without open channels after this time")},
    {"UseDNS", K::Bool, Single, "no", "", 0, 0, C::Network, "", N_("Looks up the client's host name")},
    {"UsePAM", K::Bool, Single, "no", "", 0, 0, C::Authentication, "", N_("Uses PAM for accounts and sessions")},
    {"VersionAddendum", K::Text, Single, "none", "", 0, 0, C::Network, "", N_("Text added to the version sshd announces")},
    {"X11DisplayOffset", K::Number, Block, "10", "0..2147483647", 0, 0, C::Forwarding, "", N_("First display number for X11 forwarding")},
    {"X11Forwarding", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Whether clients may forward X11")},
    {"X11UseLocalhost", K::Bool, Block, "yes", "", 0, 0, C::Forwarding, "", N_("Binds forwarded X11 displays to the loopback address")},
    {"XAuthLocation", K::Path, Single, "/usr/bin/xauth", "", 0, 0, C::Files, "", N_("The xauth program")},
};
// clang-format on

// The client's keywords, in ssh_config(5)'s order; every one may stand inside Host or Match.
// One row a line, whatever its length.
// clang-format off
constexpr Row ClientRows[] = {
    {"AddKeysToAgent", K::Text, Block, "no", "", 0, 0, C::Authentication, "", N_("Adds keys used to the agent: yes, no, ask, confirm, or a lifetime")},
    {"AddressFamily", K::Choice, Block, "any", "any inet inet6", 0, 0, C::Network, "", N_("IP versions to connect with")},
    {"BatchMode", K::Bool, Block, "no", "", 0, 0, C::Session, "", N_("Never asks for a passphrase or password")},
    {"BindAddress", K::Text, Block, "", "", 0, 0, C::Network, "", N_("Local address to connect from")},
    {"BindInterface", K::Text, Block, "", "", 0, 0, C::Network, "", N_("Local interface to connect from")},
    {"CanonicalDomains", K::Patterns, Block | Blank, "", "", 0, 0, C::Network, "", N_("Domains tried when making host names canonical")},
    {"CanonicalizeFallbackLocal", K::Bool, Block, "yes", "", 0, 0, C::Network, "", N_("Falls back to the plain name when making it canonical fails")},
    {"CanonicalizeHostname", K::Choice, Block, "no", "yes no always", 0, 0, C::Network, "", N_("Whether host names are made canonical")},
    {"CanonicalizeMaxDots", K::Number, Block, "1", "0..2147483647", 0, 0, C::Network, "", N_("Dots a name may have and still be made canonical")},
    {"CanonicalizePermittedCNAMEs", K::Text, Block, "none", "", 0, 0, C::Network, "", N_("Aliases followed when making names canonical")},
    {"CASignatureAlgorithms", K::Algorithms, Block | Comma, "", "sig", 0, 0, C::Cryptography, "", N_("Signatures accepted from certificate authorities")},
    {"CertificateFile", K::Path, Repeat | Block, "", "%CdhikLlnpru", 0, 0, C::Authentication, "", N_("A user certificate to log in with")},
    {"ChannelTimeout", K::Text, Block, "", "", 904, 0, C::Session, "", N_("Closes channels of a type that stay idle this long")},
    {"CheckHostIP", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Also checks the server's address in the known hosts")},
    {"Ciphers", K::Algorithms, Block | Comma, "", "cipher", 0, 0, C::Cryptography, "", N_("Ciphers allowed for the connection")},
    {"ClearAllForwardings", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Drops every forwarding configured so far")},
    {"Compression", K::Bool, Block, "no", "", 0, 0, C::Network, "", N_("Compresses the connection")},
    {"ConnectionAttempts", K::Number, Block, "1", "1..2147483647", 0, 0, C::Network, "", N_("Connection attempts, one a second")},
    {"ConnectTimeout", K::Interval, Block, "none", "0..2147483647 none", 0, 0, C::Network, "", N_("Time allowed to connect")},
    {"ControlMaster", K::Choice, Block, "no", "yes no ask auto autoask", 0, 0, C::Session, "", N_("Shares one connection between sessions")},
    {"ControlPath", K::Path, Block, "", "%CdhikLlnpru", 0, 0, C::Session, "", N_("Socket of the shared connection")},
    {"ControlPersist", K::Interval, Block, "no", "0..2147483647 yes no", 0, 0, C::Session, "", N_("How long a shared connection stays open after its last session")},
    {"DynamicForward", K::Text, Repeat | Block, "", "", 0, 0, C::Forwarding, "", N_("A local SOCKS proxy through the server")},
    {"EnableEscapeCommandline", K::Bool, Block, "no", "", 902, 0, C::Session, "", N_("Whether the ~C command line is available")},
    {"EnableSSHKeysign", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Allows the helper that signs for host-based login")},
    {"EscapeChar", K::Text, Block, "~", "", 0, 0, C::Session, "", N_("The escape character, or none")},
    {"ExitOnForwardFailure", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Ends the connection when a forwarding cannot be set up")},
    {"FingerprintHash", K::Choice, Block, "SHA256", "md5 sha256", 0, 0, C::Logging, "", N_("Hash used to show key fingerprints")},
    {"ForkAfterAuthentication", K::Bool, Block, "no", "", 807, 0, C::Session, "", N_("Goes to the background after login")},
    {"ForwardAgent", K::Text, Block, "no", "", 0, 0, C::Forwarding, "", N_("Forwards the key agent: yes, no, or a socket")},
    {"ForwardX11", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Forwards the X11 display")},
    {"ForwardX11Timeout", K::Interval, Block, "1200", "0..2147483647", 0, 0, C::Forwarding, "", N_("Time after which untrusted X11 forwarding is refused")},
    {"ForwardX11Trusted", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Gives forwarded X11 clients full access to the display")},
    {"GatewayPorts", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Lets other hosts use local forwardings")},
    {"GlobalKnownHostsFile", K::Patterns, Block | Blank, "/etc/ssh/ssh_known_hosts /etc/ssh/ssh_known_hosts2", "", 0, 0, C::Files, "", N_("System-wide files of known host keys")},
    {"GSSAPIAuthentication", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Logs in with Kerberos tickets (GSSAPI)")},
    {"GSSAPIClientIdentity", K::Text, Block, "", "", 0, 0, C::Authentication, "", N_("GSSAPI identity to log in as")},
    {"GSSAPIDelegateCredentials", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Passes GSSAPI credentials to the server")},
    {"GSSAPIKexAlgorithms", K::Patterns, Block | Comma, "", "", 0, 0, C::Cryptography, "", N_("Key exchanges offered through GSSAPI")},
    {"GSSAPIKeyExchange", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Whether key exchange may use GSSAPI")},
    {"GSSAPIRenewalForcesRekey", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Rekeys when GSSAPI credentials are renewed")},
    {"GSSAPIServerIdentity", K::Text, Block, "", "", 0, 0, C::Authentication, "", N_("GSSAPI identity expected of the server")},
    {"GSSAPITrustDns", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Trusts DNS to make the server's name canonical for GSSAPI")},
    {"HashKnownHosts", K::Bool, Block, "no", "", 0, 0, C::Files, "", N_("Hashes host names added to known hosts files")},
    {"HostbasedAcceptedAlgorithms", K::Algorithms, Block | Comma, "", "key-sig", 0, 0, C::Cryptography, "HostbasedKeyTypes", N_("Signatures used for host-based login")},
    {"HostbasedAuthentication", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Tries host-based login")},
    {"HostKeyAlgorithms", K::Algorithms, Block | Comma, "", "key-sig", 0, 0, C::Cryptography, "", N_("Host key signatures accepted, in order")},
    {"HostKeyAlias", K::Text, Block, "", "", 0, 0, C::Authentication, "", N_("Name under which the host key is looked up")},
    {"Hostname", K::Text, Block, "", "", 0, 0, C::Network, "", N_("Real host name to connect to")},
    {"IdentitiesOnly", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Uses only the configured identity files")},
    {"IdentityAgent", K::Path, Block, "", "%CdhikLlnpru", 0, 0, C::Authentication, "", N_("Socket of the key agent, or none")},
    {"IdentityFile", K::Path, Repeat | Block, "", "%CdhikLlnpru", 0, 0, C::Authentication, "", N_("A private key to log in with")},
    {"IgnoreUnknown", K::Patterns, Block | Comma, "", "", 0, 0, C::Session, "", N_("Unknown keywords that are not an error")},
    {"IPQoS", K::Text, Block, "lowdelay throughput", "", 0, 0, C::Network, "", N_("Traffic class of interactive and bulk connections")},
    {"KbdInteractiveAuthentication", K::Bool, Block, "yes", "", 0, 0, C::Authentication, "ChallengeResponseAuthentication SkeyAuthentication TISAuthentication", N_("Tries keyboard-interactive login")},
    {"KbdInteractiveDevices", K::Patterns, Block | Comma, "", "", 0, 0, C::Authentication, "", N_("Methods used for keyboard-interactive login")},
    {"KexAlgorithms", K::Algorithms, Block | Comma, "", "kex", 0, 0, C::Cryptography, "", N_("Key exchange methods allowed")},
    {"KnownHostsCommand", K::Text, Block, "", "", 805, 0, C::Authentication, "", N_("A program that prints known host keys")},
    {"LocalCommand", K::Text, Block, "", "", 0, 0, C::Session, "", N_("Command run locally after connecting")},
    {"LocalForward", K::Text, Repeat | Block, "", "", 0, 0, C::Forwarding, "", N_("A local port forwarded through the server")},
    {"LogLevel", K::Choice, Block, "INFO", "QUIET FATAL ERROR INFO VERBOSE DEBUG DEBUG1 DEBUG2 DEBUG3", 0, 0, C::Logging, "", N_("How much ssh logs")},
    {"LogVerbose", K::Patterns, Block | Comma, "none", "", 0, 0, C::Logging, "", N_("Source code places that log at debug level anyway")},
    {"MACs", K::Algorithms, Block | Comma, "", "mac", 0, 0, C::Cryptography, "", N_("Message authentication codes allowed")},
    {"NoHostAuthenticationForLocalhost", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Skips the host key check for localhost")},
    {"NumberOfPasswordPrompts", K::Number, Block, "3", "0..2147483647", 0, 0, C::Authentication, "", N_("Password prompts before giving up")},
    {"ObscureKeystrokeTiming", K::Text, Block, "yes", "", 905, 0, C::Session, "", N_("Hides the timing of typed keys: yes, no, or interval:MS")},
    {"PasswordAuthentication", K::Bool, Block, "yes", "", 0, 0, C::Authentication, "", N_("Tries password login")},
    {"PermitLocalCommand", K::Bool, Block, "no", "", 0, 0, C::Session, "", N_("Allows LocalCommand and the !command escape")},
    {"PermitRemoteOpen", K::HostPort, Block | Blank, "any", "", 0, 0, C::Forwarding, "", N_("Where remote dynamic forwardings may connect")},
    {"PKCS11Provider", K::Path, Block, "", "", 0, 0, C::Authentication, "", N_("Library for smart card keys, or none")},
    {"Port", K::Port, Block, "22", "", 0, 0, C::Network, "", N_("Port to connect to")},
    {"PreferredAuthentications", K::Patterns, Block | Comma, "", "", 0, 0, C::Authentication, "", N_("Login methods to try, in order")},
    {"ProxyCommand", K::Text, Block, "", "", 0, 0, C::Network, "", N_("Command that connects to the server")},
    {"ProxyJump", K::Text, Block, "", "", 0, 0, C::Network, "", N_("Jump hosts to connect through")},
    {"ProxyUseFdpass", K::Bool, Block, "no", "", 0, 0, C::Network, "", N_("The proxy command passes a connected socket back")},
    {"PubkeyAcceptedAlgorithms", K::Algorithms, Block | Comma, "", "key-sig", 0, 0, C::Cryptography, "PubkeyAcceptedKeyTypes", N_("Signatures used for key login")},
    {"PubkeyAuthentication", K::Choice, Block, "yes", "yes no unbound host-bound", 0, 0, C::Authentication, "DSAAuthentication", N_("Tries key login")},
    {"RekeyLimit", K::Text, Block, "0 0", "", 0, 0, C::Cryptography, "", N_("Data and time after which the session key is renewed")},
    {"RemoteCommand", K::Text, Block, "", "", 0, 0, C::Session, "", N_("Command run on the server")},
    {"RemoteForward", K::Text, Repeat | Block, "", "", 0, 0, C::Forwarding, "", N_("A remote port forwarded back to this side")},
    {"RequestTTY", K::Choice, Block, "auto", "no yes force auto", 0, 0, C::Session, "", N_("Whether the session gets a terminal")},
    {"RequiredRSASize", K::Number, Block, "1024", "1024..16384", 901, 0, C::Cryptography, "", N_("Smallest RSA key accepted, in bits")},
    {"RevokedHostKeys", K::Path, Block, "", "", 0, 0, C::Authentication, "", N_("File of host keys no longer trusted")},
    {"SecurityKeyProvider", K::Path, Block, "internal", "", 0, 0, C::Authentication, "", N_("Library that talks to hardware security keys")},
    {"SendEnv", K::Patterns, Repeat | Block | Blank, "", "", 0, 0, C::Session, "", N_("Environment variables sent to the server")},
    {"ServerAliveCountMax", K::Number, Block, "3", "0..2147483647", 0, 0, C::Network, "", N_("Unanswered keep-alive messages before ssh disconnects")},
    {"ServerAliveInterval", K::Number, Block, "0", "0..2147483647", 0, 0, C::Network, "", N_("Idle seconds after which ssh checks the server is alive")},
    {"SessionType", K::Choice, Block, "default", "none subsystem default", 807, 0, C::Session, "", N_("What the session runs")},
    {"SetEnv", K::Text, Repeat | Block, "", "", 0, 0, C::Session, "", N_("Environment variables set on the server")},
    {"StdinNull", K::Bool, Block, "no", "", 807, 0, C::Session, "", N_("Reads standard input from /dev/null")},
    {"StreamLocalBindMask", K::Text, Block, "0177", "", 0, 0, C::Forwarding, "", N_("Permission mask of forwarded Unix sockets, in octal")},
    {"StreamLocalBindUnlink", K::Bool, Block, "no", "", 0, 0, C::Forwarding, "", N_("Removes an old socket file before forwarding to it")},
    {"StrictHostKeyChecking", K::Choice, Block, "ask", "yes no ask accept-new off", 0, 0, C::Authentication, "", N_("What to do with unknown or changed host keys")},
    {"SyslogFacility", K::Choice, Block, "USER", "DAEMON USER AUTH LOCAL0 LOCAL1 LOCAL2 LOCAL3 LOCAL4 LOCAL5 LOCAL6 LOCAL7", 0, 0, C::Logging, "", N_("Facility of ssh's log messages")},
    {"Tag", K::Text, Block, "", "", 904, 0, C::Session, "", N_("A name that Match tagged selects")},
    {"TCPKeepAlive", K::Bool, Block, "yes", "", 0, 0, C::Network, "KeepAlive", N_("Lets TCP detect dead connections")},
    {"Tunnel", K::Choice, Block, "no", "yes point-to-point ethernet no", 0, 0, C::Forwarding, "", N_("Opens a tun device to the server")},
    {"TunnelDevice", K::Text, Block, "any:any", "", 0, 0, C::Forwarding, "", N_("Local and remote tun devices")},
    {"UpdateHostKeys", K::Choice, Block, "yes", "yes no ask", 0, 0, C::Authentication, "", N_("Learns the server's other host keys")},
    {"User", K::Text, Block, "", "", 0, 0, C::Authentication, "", N_("User to log in as")},
    {"UserKnownHostsFile", K::Patterns, Block | Blank, "~/.ssh/known_hosts ~/.ssh/known_hosts2", "", 0, 0, C::Files, "", N_("The user's files of known host keys")},
    {"VerifyHostKeyDNS", K::Choice, Block, "no", "yes no ask", 0, 0, C::Authentication, "", N_("Checks host keys against DNS records")},
    {"VersionAddendum", K::Text, Block, "none", "", 1000, 0, C::Network, "", N_("Text added to the version ssh announces")},
    {"VisualHostKey", K::Bool, Block, "no", "", 0, 0, C::Authentication, "", N_("Draws the host key as a picture")},
    {"WarnWeakCrypto", K::Bool, Block, "yes", "", 1001, 0, C::Cryptography, "", N_("Warns when the key exchange is not safe against quantum computers")},
    {"XAuthLocation", K::Path, Block, "/usr/bin/xauth", "", 0, 0, C::Files, "", N_("The xauth program")},
};
// clang-format on
#undef N_

template<std::size_t N>
QList<Option> build(const Row (&rows)[N])
{
    QList<Option> list;
    list.reserve(int(N));
    for (const Row &row : rows) {
        const QChar separator = row.flags & Comma ? QLatin1Char(',') : row.flags & Blank ? QLatin1Char(' ') : QChar();
        list.append({QString::fromLatin1(row.keyword),
                     row.kind,
                     (row.flags & Repeat) != 0,
                     QString::fromLatin1(row.defaultValue),
                     QString::fromLatin1(row.values),
                     separator,
                     (row.flags & Block) != 0,
                     row.since,
                     row.until,
                     row.category,
                     QString::fromLatin1(row.aliases).split(QLatin1Char(' '), Qt::SkipEmptyParts),
                     row.description});
    }
    return list;
}
}

const QList<Option> &options(ConfigType type)
{
    static const QList<Option> server = build(ServerRows);
    static const QList<Option> client = build(ClientRows);
    return type == ConfigType::Client ? client : server;
}

const Option *findOption(ConfigType type, const QString &keyword)
{
    for (const Option &option : options(type)) {
        if (option.keyword.compare(keyword, Qt::CaseInsensitive) == 0 || option.aliases.contains(keyword, Qt::CaseInsensitive)) {
            return &option;
        }
    }
    return nullptr;
}

bool isListKind(ValueKind kind)
{
    return kind == ValueKind::ListenAddresses || kind == ValueKind::KeyFilePatterns || kind == ValueKind::AccessPatterns;
}

QString kindName(ValueKind kind)
{
    switch (kind) {
    case K::Bool:
    case K::Subsystem:
        return QStringLiteral("yes-no");
    case K::RootLogin:
    case K::Choice:
        return QStringLiteral("choice");
    case K::Port:
    case K::Number:
        return QStringLiteral("number");
    case K::Interval:
        return QStringLiteral("interval");
    case K::Algorithms:
        return QStringLiteral("algorithms");
    case K::Patterns:
    case K::KeyFilePatterns:
    case K::AccessPatterns:
        return QStringLiteral("patterns");
    case K::Path:
    case K::Banner:
        return QStringLiteral("path");
    case K::Text:
        return QStringLiteral("text");
    case K::Triple:
        return QStringLiteral("triple");
    case K::Penalties:
        return QStringLiteral("penalties");
    case K::HostPort:
    case K::ListenAddresses:
        return QStringLiteral("host-port");
    }
    return QString();
}

QString versionText(int version)
{
    return QStringLiteral("%1.%2").arg(version / 100).arg(version % 100);
}

int parseVersion(const QByteArray &text)
{
    static const QRegularExpression pattern(QStringLiteral("OpenSSH_(\\d{1,2})\\.(\\d{1,2})"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(text));
    return match.hasMatch() ? match.captured(1).toInt() * 100 + match.captured(2).toInt() : 0;
}

bool knownIn(const Option &option, int version)
{
    return version == 0 || (version >= option.since && (option.until == 0 || version <= option.until));
}

QString canonicalWord(const QString &word)
{
    static const QHash<QString, QString> spelling = {{QStringLiteral("without-password"), QStringLiteral("prohibit-password")},
                                                     {QStringLiteral("true"), QStringLiteral("yes")},
                                                     {QStringLiteral("false"), QStringLiteral("no")},
                                                     {QStringLiteral("off"), QStringLiteral("no")}};
    const QString lower = word.toLower();
    return spelling.value(lower, lower);
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029) {
            return true;
        }
    }
    return false;
}
}

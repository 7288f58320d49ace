"""A real SMTP server for the tests (aiosmtpd) on 127.0.0.1, port chosen by the system.

Prints "READY <port>", then one line per event, flushed:
  CMD <VERB> <plain|tls>              every command received, in order, and how it came
  SNI <name>                          the server name a TLS client asked for
  MECHANISM <name>                    each AUTH attempt's mechanism, then
  LOGIN <ok|refused> <user>           its outcome
  MESSAGE <from> <to,...> <b64> <opts>  each accepted message, content as received (base64),
                                      MAIL FROM parameters joined by "," ("-" for none)

Options: --user NAME --password PW   accept AUTH LOGIN and PLAIN with these credentials
         --require-auth              answer 530 to MAIL FROM until logged in
         --cert PEM --key PEM        with --starttls: offer STARTTLS, AUTH only after it;
                                     with --implicit-tls: TLS from the first byte
         --no-login                  offer AUTH PLAIN only
         --no-8bitmime               do not offer 8BITMIME
"""
import argparse
import asyncio
import base64
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


class Recorder:
    async def handle_DATA(self, server, session, envelope):
        content = base64.b64encode(envelope.original_content).decode()
        options = ",".join(envelope.mail_options) or "-"
        say("MESSAGE %s %s %s %s" % (envelope.mail_from, ",".join(envelope.rcpt_tos), content,
                                     options))
        return "250 2.0.0 OK queued"


class LoggingSMTP(SMTP):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        for verb, method in list(self._smtp_methods.items()):
            self._smtp_methods[verb] = self._logged(verb, method)

    def _logged(self, verb, method):
        async def run(arg):
            secure = self.transport.get_extra_info("sslcontext") is not None
            say("CMD %s %s" % (verb, "tls" if secure else "plain"))
            await method(arg)
        return run


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--cert", default="")
    parser.add_argument("--key", default="")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--no-login", action="store_true")
    parser.add_argument("--no-8bitmime", action="store_true")
    options = parser.parse_args()

    context = None
    if options.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert, options.key)
        context.sni_callback = lambda sock, name, ctx: say("SNI %s" % name)

    def authenticate(server, session, envelope, mechanism, data):
        ok = (isinstance(data, LoginPassword) and options.user
              and data.login == options.user.encode()
              and data.password == options.password.encode())
        say("MECHANISM %s" % mechanism)
        say("LOGIN %s %s" % ("ok" if ok else "refused",
                             data.login.decode(errors="replace") if isinstance(data, LoginPassword) else "?"))
        return AuthResult(success=bool(ok), handled=False)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def factory():
        return LoggingSMTP(Recorder(), hostname="peer.test", authenticator=authenticate,
                           auth_require_tls=options.starttls, auth_required=options.require_auth,
                           tls_context=context if options.starttls else None,
                           auth_exclude_mechanism=["LOGIN"] if options.no_login else None,
                           decode_data=options.no_8bitmime, loop=loop)

    server = loop.run_until_complete(loop.create_server(
        factory, "127.0.0.1", 0, ssl=context if options.implicit_tls else None))
    say("READY %d" % server.sockets[0].getsockname()[1])
    loop.run_forever()


if __name__ == "__main__":
    main()

"""A real SMTP server for the tests (aiosmtpd) on 127.0.0.1, port chosen by the system.

Prints "READY <port>", then one line per event, flushed:
  CMD <VERB>                          every command received, in order
  LOGIN <ok|refused> <user>           each AUTH attempt
  MESSAGE <from> <to,to,...> <b64>    each accepted message, content as received (base64)

Options: --user NAME --password PW   accept AUTH LOGIN with these credentials
         --require-auth              answer 530 to MAIL FROM until logged in
"""
import argparse
import asyncio
import base64
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


class Recorder:
    async def handle_DATA(self, server, session, envelope):
        content = base64.b64encode(envelope.original_content).decode()
        say("MESSAGE %s %s %s" % (envelope.mail_from, ",".join(envelope.rcpt_tos), content))
        return "250 2.0.0 OK queued"


class LoggingSMTP(SMTP):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        for verb, method in list(self._smtp_methods.items()):
            self._smtp_methods[verb] = self._logged(verb, method)

    @staticmethod
    def _logged(verb, method):
        async def run(arg):
            say("CMD " + verb)
            await method(arg)
        return run


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--require-auth", action="store_true")
    options = parser.parse_args()

    def authenticate(server, session, envelope, mechanism, data):
        ok = (isinstance(data, LoginPassword) and options.user
              and data.login == options.user.encode()
              and data.password == options.password.encode())
        say("LOGIN %s %s" % ("ok" if ok else "refused",
                             data.login.decode(errors="replace") if isinstance(data, LoginPassword) else "?"))
        return AuthResult(success=bool(ok), handled=False)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def factory():
        return LoggingSMTP(Recorder(), hostname="peer.test", authenticator=authenticate,
                           auth_require_tls=False, auth_required=options.require_auth,
                           loop=loop)

    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", 0))
    say("READY %d" % server.sockets[0].getsockname()[1])
    loop.run_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/env bash
# Builds the Debian package and the previous version from it (below),
# installs the previous one with apt-get, runs the installed program from its
# menu entry as an ordinary user with a home folder of its own
# (test_installed.py: start screen, a whole homework, the user's copy of the
# database changed and the installed one not), upgrades to the new package
# and starts again (test_upgraded.py: the record merged into the new
# content), removes the package and checks that the user's copy stays.
#
# The previous package is the new one repacked as version 0.1.0 around an
# older, smaller content: the new database with grade 3's bank cut to its
# first 20 questions and without the content version rows, as 0.1.0 wrote
# none.  That is what an upgrade meets in a family's home folder (a record
# made on fewer questions, no versions), for the price of a repack instead
# of a second build of the whole program from older sources.
#
# Installs software system-wide: run it as root on a machine meant for it
# (CI); outside CI it refuses to run where aoshu is installed already.  Expects a build
# in build/ (BUILD_DIR), as scripts/test.sh leaves it.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [[ $(id -u) -ne 0 ]]; then
  echo "install_test: must run as root" >&2
  exit 1
fi
if dpkg-query -W -f='${Status}' aoshu 2>/dev/null | grep -q "install ok installed"; then
  # On a CI machine the package can only be a leftover of a run that was
  # stopped before its clean-up; anywhere else it may be a family's copy.
  if [[ ${CI:-} != true ]]; then
    echo "install_test: aoshu is installed already; remove it first" >&2
    exit 1
  fi
  echo "install_test: removing aoshu left installed by an interrupted run"
  DEBIAN_FRONTEND=noninteractive apt-get remove -y aoshu >/dev/null
fi

build=${BUILD_DIR:-build}
user=aoshu-pupil
work=$(mktemp -d)
chmod 755 "$work"
installed=""
created_user=""
cleanup() {
  if [[ -n $installed ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y aoshu >/dev/null || true
  fi
  if [[ -n $created_user ]]; then
    userdel "$user" || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "install_test: building the package"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" || {
  cat "$work/cpack.log" >&2
  exit 1
}
cp "$work"/out/aoshu_*.deb "$work/"
deb=$(ls "$work"/aoshu_*.deb)
echo "install_test: $(basename "$deb"), $(stat -c %s "$deb") bytes"

echo "install_test: lintian"
lintian --pedantic "$deb" | tee "$work/lintian.txt"
if grep -q '^E:' "$work/lintian.txt"; then
  echo "install_test: lintian reports errors" >&2
  exit 1
fi

echo "install_test: the previous package"
previous=$work/previous
dpkg-deb -R "$deb" "$previous"
old_database=$previous/usr/lib/aoshu/dat/kelvma.dat
chmod 644 "$old_database"
/usr/bin/python3 - "$old_database" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
# The older content: grade 3's homework bank holds only its first 20
# questions (so the homework done on it draws all of them and the next one,
# after the upgrade, can only draw new ones), and no content version.
db.execute("delete from b1 where zd9 = 3 and zd17 is null and zd1 not in "
           "(select zd1 from b1 where zd9 = 3 and zd17 is null order by zd1 limit 20)")
db.execute("delete from dbinfo where name in ('schema-version', 'content-sequence', 'content-digest')")
db.commit()
db.execute("vacuum")
db.close()
PY
chmod 444 "$old_database"
sed -i 's/^Version: .*/Version: 0.1.0/' "$previous/DEBIAN/control"
(cd "$previous" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
mkdir "$work/old"
dpkg-deb --root-owner-group -b "$previous" "$work/old/aoshu_0.1.0.deb" >/dev/null

echo "install_test: apt-get install of the previous package"
installed=yes
(cd "$work/old" && DEBIAN_FRONTEND=noninteractive apt-get install -y ./aoshu_0.1.0.deb)

if ! id "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
  created_user=yes
fi
mkdir "$work/home"
chown "$user:" "$work/home"
AOSHU_E2E_USER=$user AOSHU_E2E_HOME=$work/home E2E_OUTPUT_DIR=$build/e2e-output/package \
  /usr/bin/python3 tests/package/test_installed.py

echo "install_test: apt-get install of $(basename "$deb") over it"
(cd "$work" && DEBIAN_FRONTEND=noninteractive apt-get install -y "./$(basename "$deb")")
AOSHU_E2E_USER=$user AOSHU_E2E_HOME=$work/home E2E_OUTPUT_DIR=$build/e2e-output/package \
  /usr/bin/python3 tests/package/test_upgraded.py

echo "install_test: apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y aoshu
installed=""
for path in /usr/bin/aoshu /usr/lib/aoshu /usr/share/applications/aoshu.desktop; do
  if [[ -e $path ]]; then
    echo "install_test: $path is still there after the removal" >&2
    exit 1
  fi
done
users_copy=$work/home/.local/share/aoshu/dat/kelvma.dat
if [[ ! -s $users_copy ]]; then
  echo "install_test: the removal took the user's database $users_copy" >&2
  exit 1
fi
echo "install_test: passed"

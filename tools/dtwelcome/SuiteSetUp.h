// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include <vector>

// The suite's own set-up for the login user, without widgets: what is there already, what the
// set-up window proposes, and the registration it makes. The suite, the user and the simulated
// handheld are registered by the simulator tool's commands and removable volumes adopted by
// the volume tool's, so the window refuses and writes exactly what those commands do.

// What the set-up finds in the registry and on disk.
struct SuiteState {
    QString suiteFolder;  // the suite's folder (ends with "/"), empty when not installed
    QString user;         // the current EPOC Connect user, empty when none
    QString pcFolder;     // that user's PC folder (ends with "/"), empty when none
    bool usesVolumes = false;
    bool handheldReady = false;  // the simulator is configured, or a volume is adopted for user
    QString synchronizer;        // "SyncronizerPath" when it names a program that exists
    QString manager;             // the shell folder's open command when it names a program that exists

    bool SuiteInstalled() const { return !suiteFolder.isEmpty(); }
    // DTSetup's installation is in place: the manager finds the synchronizer it starts.
    bool ProgramsInstalled() const { return !synchronizer.isEmpty() && !manager.isEmpty(); }
    bool IsSetUp() const {
        return SuiteInstalled() && !user.isEmpty() && !pcFolder.isEmpty() && handheldReady && ProgramsInstalled();
    }
};

SuiteState ReadSuiteState();

// The login name (the password database's, else $USER), as the proposed user name.
QString LoginName();
// The desktop's documents folder (XDG), else the home folder, as the proposed PC folder.
QString DocumentsFolder();

// A volume mounted now that could become the handheld.
struct MountedVolume {
    QString mountPoint;
    QString label;         // the mount point's last part, which desktops name after the volume's label
    QString adoptedId;     // set when an adopted volume is mounted here
    QString adoptedOwner;  // its owner
};
// The writable removable volumes in mount order; fixed disks, the system's own file system,
// memory, kernel and network file systems are left out as adopting would refuse them.
std::vector<MountedVolume> MountedVolumes();

// An adopted volume, for the list the user may forget one from.
struct AdoptedHandheld {
    QString id;
    QString owner;
    QString label;
    QString connectedAt;  // the handheld's folder while mounted, else empty
};
std::vector<AdoptedHandheld> AdoptedHandhelds();

enum class HandheldKind { None, Volume, Simulator };

struct SetUpRequest {
    QString userName;
    QString pcFolder;
    HandheldKind handheld = HandheldKind::None;
    QString volumeMount;  // for HandheldKind::Volume: the mount point of the chosen volume
};

struct SetUpResult {
    bool ok = false;
    QString message;  // what was done, or why nothing was
};

// Why a user name cannot be registered; empty when it can. Names become registry keys and
// the backup folder's name below the PC folder, so separators, "." and ".." are refused.
QString CheckUserName(const QString& name);
// The absolute folder the text names ("~" is the home folder); empty with why set when none.
QString ResolvePcFolder(const QString& text, QString& why);

class CSuiteSetUp {
public:
    // suiteFiles holds what installing the suite copies (the chooser library, the clips);
    // dataFolder is the user's own folder for the suite and the simulated handheld.
    CSuiteSetUp(QString suiteFiles, QString dataFolder);

    // Checks the whole request first, then registers the suite (unless it is installed), the
    // user as the current user with the PC folder, and the handheld. Nothing is written when a
    // check fails; a step that fails stops there and says which.
    SetUpResult Register(const SetUpRequest& request) const;
    // Adopts the volume mounted at mountPoint (its folder "Dovetail") for user; a volume adopted
    // for user already is kept as it is.
    SetUpResult AdoptVolume(const QString& mountPoint, const QString& user) const;
    // The simulated handheld for user, made in the data folder when there is none yet.
    SetUpResult UseSimulator(const QString& user) const;
    SetUpResult Forget(const QString& id) const;

    QString SuiteFolder() const { return m_dataFolder + QStringLiteral("/suite"); }
    QString SimulatorFolder() const { return m_dataFolder + QStringLiteral("/handheld"); }

private:
    QString m_suiteFiles;
    QString m_dataFolder;
};

// What bringing the user's installed copies up to the package did.
struct SuiteUpdate {
    QStringList updated;  // the names of the files copied again
    QString failed;       // the name of a file that could not be, empty when none
    QString fromVersion;  // the manager's version before and after, where readable
    QString toVersion;
};
// Copies again, from the medium's folder (DTSetup at its root, the programs in the language
// folders), every file the install wizard put into suiteFolder that now differs from the
// medium's. Only files present in the suite folder are touched, so an uninstalled suite stays
// uninstalled. A file is replaced whole (written beside it, then renamed), so a copy that is
// running goes on undisturbed.
SuiteUpdate UpdateInstalledCopies(const QString& mediumFolder, const QString& suiteFolder, uint32_t language);
// The one sentence a person is told about an update; empty when nothing was updated.
QString DescribeUpdate(const SuiteUpdate& update);

// Where a program of ours is, given the folder the running program is in: DTSetup on the
// medium beside that folder ("../medium"), as the build and the package lay it out.
QString SetupProgramNear(const QString& programFolder);

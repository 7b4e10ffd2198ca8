<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name></name>
    <message id="admin.title">
        <source>Administration</source>
        <translation>Administration</translation>
    </message>
    <message id="admin.subtitle">
        <source>Tools for administrators</source>
        <translation>Tools for administrators</translation>
    </message>
    <message id="admin.users">
        <source>Manage users</source>
        <translation>Manage users</translation>
    </message>
    <message id="admin.metrics">
        <source>Usage metrics</source>
        <translation>Usage metrics</translation>
    </message>
    <message id="admin.forcePassword">
        <source>Force password reset</source>
        <translation>Force password reset</translation>
    </message>
    <message id="admin.comingSoon">
        <source>Coming soon</source>
        <translation>Coming soon</translation>
    </message>
    <message id="admin.openWeb">
        <source>Open administration web page</source>
        <translation>Open administration web page</translation>
    </message>
    <message id="admin.open">
        <source>Administration</source>
        <translation>Administration</translation>
    </message>
    <message id="appearance.system">
        <source>System</source>
        <translation>System</translation>
    </message>
    <message id="appearance.light">
        <source>Light</source>
        <translation>Light</translation>
    </message>
    <message id="appearance.dark">
        <source>Dark</source>
        <translation>Dark</translation>
    </message>
    <message id="connectivity.cloud">
        <source>Cloud service</source>
        <translation>Cloud service</translation>
    </message>
    <message id="connectivity.localMesh">
        <source>Local mesh</source>
        <translation>Local mesh</translation>
    </message>
    <message id="connectivity.noPeers">
        <source>No other Lumora clients found on this network yet.</source>
        <translation>No other Lumora clients found on this network yet.</translation>
    </message>
    <message id="language.system">
        <source>System</source>
        <translation>System</translation>
    </message>
    <message id="language.english">
        <source>English</source>
        <translation>English</translation>
    </message>
    <message id="language.arabic">
        <source>Arabic</source>
        <translation>Arabic</translation>
    </message>
    <message id="login.subtitle">
        <source>Sign in to your messages</source>
        <translation>Sign in to your messages</translation>
    </message>
    <message id="login.username">
        <source>Username</source>
        <translation>Username</translation>
    </message>
    <message id="login.password">
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message id="login.signIn">
        <source>Sign In</source>
        <translation>Sign In</translation>
    </message>
    <message id="login.apiHint">
        <source>You can change the service address in Settings.</source>
        <translation>You can change the service address in Settings.</translation>
    </message>
    <message id="password.title">
        <source>Change Password</source>
        <translation>Change Password</translation>
    </message>
    <message id="password.current">
        <source>Current password</source>
        <translation>Current password</translation>
    </message>
    <message id="password.new">
        <source>New password</source>
        <translation>New password</translation>
    </message>
    <message id="password.confirm">
        <source>Confirm new password</source>
        <translation>Confirm new password</translation>
    </message>
    <message id="password.submit">
        <source>Update Password</source>
        <translation>Update Password</translation>
    </message>
    <message id="password.required">
        <source>You must change your password before continuing.</source>
        <translation>You must change your password before continuing.</translation>
    </message>
    <message id="password.mismatch">
        <source>The new passwords do not match.</source>
        <translation>The new passwords do not match.</translation>
    </message>
    <message id="common.cancel">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="profile.displayName">
        <source>Display name</source>
        <translation>Display name</translation>
    </message>
    <message id="profile.email">
        <source>Email</source>
        <translation>Email</translation>
    </message>
    <message id="profile.bio">
        <source>Bio</source>
        <translation>Bio</translation>
    </message>
    <message id="profile.countryCode">
        <source>Country code (e.g. SA)</source>
        <translation>Country code (e.g. SA)</translation>
    </message>
    <message id="profile.save">
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message id="profile.saved">
        <source>Profile saved.</source>
        <translation>Profile saved.</translation>
    </message>
    <message id="profile.signOut">
        <source>Sign Out</source>
        <translation>Sign Out</translation>
    </message>
    <message id="settings.title">
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message id="settings.appearance">
        <source>Appearance</source>
        <translation>Appearance</translation>
    </message>
    <message id="settings.language">
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message id="settings.connectivity">
        <source>Connectivity</source>
        <translation>Connectivity</translation>
    </message>
    <message id="settings.api">
        <source>Service</source>
        <translation>Service</translation>
    </message>
    <message id="settings.apiBaseURL">
        <source>Service address</source>
        <translation>Service address</translation>
    </message>
    <message id="settings.saveAPI">
        <source>Save address</source>
        <translation>Save address</translation>
    </message>
    <message id="settings.apiNote">
        <source>When set, the LUMORA_API_BASE_URL environment variable overrides this address.</source>
        <translation>When set, the LUMORA_API_BASE_URL environment variable overrides this address.</translation>
    </message>
    <message id="tab.inbox">
        <source>Inbox</source>
        <translation>Inbox</translation>
    </message>
    <message id="tab.profile">
        <source>Profile</source>
        <translation>Profile</translation>
    </message>
    <message id="tab.settings">
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message id="inbox.title">
        <source>Messages</source>
        <translation>Messages</translation>
    </message>
    <message id="inbox.noMessages">
        <source>No messages yet</source>
        <translation>No messages yet</translation>
    </message>
    <message id="inbox.conversation">
        <source>Conversation</source>
        <translation>Conversation</translation>
    </message>
    <message id="inbox.unreadCount" numerus="yes">
        <source>%n unread</source>
        <translation>
            <numerusform>%n unread message</numerusform>
            <numerusform>%n unread messages</numerusform>
        </translation>
    </message>
    <message id="chat.placeholder">
        <source>Write a message…</source>
        <translation>Write a message…</translation>
    </message>
    <message id="chat.attach">
        <source>Attach file</source>
        <translation>Attach file</translation>
    </message>
    <message id="chat.emoji">
        <source>Emoji</source>
        <translation>Emoji</translation>
    </message>
    <message id="chat.notSent">
        <source>Not sent</source>
        <translation>Not sent</translation>
    </message>
    <message id="chat.retry">
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message id="chat.anotherFile">
        <source>Another file…</source>
        <translation>Another file…</translation>
    </message>
    <message id="chat.discard">
        <source>Discard</source>
        <translation>Discard</translation>
    </message>
    <message id="chat.sending">
        <source>Sending…</source>
        <translation>Sending…</translation>
    </message>
    <message id="verified">
        <source>Verified</source>
        <translation>Verified</translation>
    </message>
    <message id="Lumora">
        <source>Lumora</source>
        <translation>Lumora</translation>
    </message>
    <message id="lumora">
        <source>lumora</source>
        <translation>lumora</translation>
    </message>
    <message id="@%1">
        <source>@%1</source>
        <translation>@%1</translation>
    </message>
    <message id="cli.signedOut">
        <source>Not signed in.</source>
        <translation>Not signed in.</translation>
    </message>
    <message id="cli.signedInAs">
        <source>Signed in as %1.</source>
        <translation>Signed in as %1.</translation>
    </message>
    <message id="cli.signedOutDone">
        <source>Signed out.</source>
        <translation>Signed out.</translation>
    </message>
    <message id="cli.passwordChanged">
        <source>Password changed.</source>
        <translation>Password changed.</translation>
    </message>
    <message id="cli.passwordPrompt">
        <source>Password for %1: </source>
        <translation>Password for %1: </translation>
    </message>
    <message id="cli.currentPasswordPrompt">
        <source>Current password: </source>
        <translation>Current password: </translation>
    </message>
    <message id="cli.newPasswordPrompt">
        <source>New password: </source>
        <translation>New password: </translation>
    </message>
    <message id="keychain.unavailable">
        <source>Secure storage is unavailable: %1</source>
        <translation>Secure storage is unavailable: %1</translation>
    </message>
    <message id="tray.open">
        <source>Open Lumora</source>
        <translation>Open Lumora</translation>
    </message>
    <message id="tray.settings">
        <source>Settings…</source>
        <translation>Settings…</translation>
    </message>
    <message id="tray.quit">
        <source>Quit Lumora</source>
        <translation>Quit Lumora</translation>
    </message>
    <message id="inbox.refresh">
        <source>Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message id="chat.back">
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message id="chat.send">
        <source>Send</source>
        <translation>Send</translation>
    </message>
    <message id="common.close">
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message id="error.redirectedElsewhere">
        <source>The service redirected to another address, %1. Lumora sends your password and session only to the service address itself.</source>
        <translation>The service redirected to another address, %1. Lumora sends your password and session only to the service address itself.</translation>
    </message>
    <message id="error.insecureTransport">
        <source>Lumora does not send your password or session over plain HTTP to %1. Use an https:// address.</source>
        <translation>Lumora does not send your password or session over plain HTTP to %1. Use an https:// address.</translation>
    </message>
    <message id="error.otherService">
        <source>Your session was issued by another service address. Please sign in again.</source>
        <translation>Your session was issued by another service address. Please sign in again.</translation>
    </message>
    <message id="error.replyTooLarge">
        <source>The service's reply is larger than %1 MB; Lumora stopped reading it.</source>
        <translation>The service's reply is larger than %1 MB; Lumora stopped reading it.</translation>
    </message>
    <message id="error.deadline">
        <source>The service did not finish answering within %1 minutes.</source>
        <translation>The service did not finish answering within %1 minutes.</translation>
    </message>
    <message id="session.expired">
        <source>Your session expired. Please sign in again.</source>
        <translation>Your session expired. Please sign in again.</translation>
    </message>
    <message id="session.addressChanged">
        <source>You were signed out because the service address changed. Please sign in again.</source>
        <translation>You were signed out because the service address changed. Please sign in again.</translation>
    </message>
    <message id="session.otherService">
        <source>The saved session belongs to %1, not to %2. Please sign in again.</source>
        <translation>The saved session belongs to %1, not to %2. Please sign in again.</translation>
    </message>
    <message id="settings.insecureAddress">
        <source>Not secure: Lumora will not send your password or session to this address over plain HTTP.</source>
        <translation>Not secure: Lumora will not send your password or session to this address over plain HTTP.</translation>
    </message>
    <message id="error.status">
        <source>HTTP %1</source>
        <translation>HTTP %1</translation>
    </message>
    <message id="error.decoding">
        <source>Decoding error: %1</source>
        <translation>Decoding error: %1</translation>
    </message>
    <message id="error.fileUnreadable">
        <source>The file could not be read: %1</source>
        <translation>The file could not be read: %1</translation>
    </message>
    <message id="error.isDirectory">
        <source>%1 is a directory, not a file</source>
        <translation>%1 is a directory, not a file</translation>
    </message>
    <message id="error.invalidAddress">
        <source>Invalid API URL</source>
        <translation>Invalid API URL</translation>
    </message>
    <message id="error.sessionExpired">
        <source>Session expired. Please sign in again.</source>
        <translation>Session expired. Please sign in again.</translation>
    </message>
    <message id="error.emptyReply">
        <source>Empty response</source>
        <translation>Empty response</translation>
    </message>
    <message id="error.timedOut">
        <source>The request timed out.</source>
        <translation>The request timed out.</translation>
    </message>
    <message id="error.badReply">
        <source>Bad server response</source>
        <translation>Bad server response</translation>
    </message>
    <message id="error.clientClosed">
        <source>The client was closed.</source>
        <translation>The client was closed.</translation>
    </message>
    <message id="error.tooManyRedirects">
        <source>Too many redirects.</source>
        <translation>Too many redirects.</translation>
    </message>
    <message id="mesh.idle">
        <source>Idle</source>
        <translation>Idle</translation>
    </message>
    <message id="mesh.stopped">
        <source>Stopped</source>
        <translation>Stopped</translation>
    </message>
    <message id="mesh.starting">
        <source>Local Mesh placeholder — Bonjour `_lumora._tcp`</source>
        <translation>Local Mesh placeholder — Bonjour `_lumora._tcp`</translation>
    </message>
    <message id="mesh.listenerFailed">
        <source>Listener failed: %1</source>
        <translation>Listener failed: %1</translation>
    </message>
    <message id="mesh.browse">
        <source>Browse: %1</source>
        <translation>Browse: %1</translation>
    </message>
    <message id="mesh.advertise">
        <source>Advertise: %1</source>
        <translation>Advertise: %1</translation>
    </message>
    <message id="mesh.ready">
        <source>ready</source>
        <translation>ready</translation>
    </message>
    <message id="mesh.registering">
        <source>registering</source>
        <translation>registering</translation>
    </message>
    <message id="mesh.waitingForDaemon">
        <source>waiting for the daemon</source>
        <translation>waiting for the daemon</translation>
    </message>
    <message id="mesh.renamed">
        <source>name collision, renamed to %1</source>
        <translation>name collision, renamed to %1</translation>
    </message>
    <message id="mesh.failed">
        <source>failed: %1</source>
        <translation>failed: %1</translation>
    </message>
    <message id="settings.localPreset">
        <source>Local</source>
        <translation>Local</translation>
    </message>
    <message id="cli.nothingToSend">
        <source>Nothing to send: give --text or --attach.</source>
        <translation>Nothing to send: give --text or --attach.</translation>
    </message>
    <message id="cli.sent">
        <source>Sent message %1.</source>
        <translation>Sent message %1.</translation>
    </message>
    <message id="cli.noPeers">
        <source>No peers seen.</source>
        <translation>No peers seen.</translation>
    </message>
    <message id="notify.newMessages" numerus="yes">
        <source>%n new messages</source>
        <translation>
            <numerusform>%n new message</numerusform>
            <numerusform>%n new messages</numerusform>
        </translation>
    </message>
    <message id="notify.noText">
        <source>New message</source>
        <translation>New message</translation>
    </message>
    <message id="notify.open">
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message id="notify.reply">
        <source>Reply</source>
        <translation>Reply</translation>
    </message>
    <message id="notify.replyPlaceholder">
        <source>Write a reply…</source>
        <translation>Write a reply…</translation>
    </message>
    <message id="tray.unreadSummary">
        <source>Lumora — %1 in %2</source>
        <translation>Lumora — %1 in %2</translation>
    </message>
    <message id="tray.unreadMessages" numerus="yes">
        <source>%n unread</source>
        <translation>
            <numerusform>%n unread</numerusform>
            <numerusform>%n unread</numerusform>
        </translation>
    </message>
    <message id="tray.inConversations" numerus="yes">
        <source>%n conversations</source>
        <translation>
            <numerusform>%n conversation</numerusform>
            <numerusform>%n conversations</numerusform>
        </translation>
    </message>
    <message id="window.titleUnread">
        <source>Lumora (%1)</source>
        <translation>Lumora (%1)</translation>
    </message>
    <message id="settings.notifications">
        <source>Notifications</source>
        <translation>Notifications</translation>
    </message>
    <message id="settings.notificationsOn">
        <source>Show a notification when a message arrives</source>
        <translation>Show a notification when a message arrives</translation>
    </message>
    <message id="notify.fromSender">
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message id="error.fileUnwritable">
        <source>The file could not be written: %1</source>
        <translation>The file could not be written: %1</translation>
    </message>
    <message id="error.fileExists">
        <source>%1 already exists; Lumora does not overwrite it.</source>
        <translation>%1 already exists; Lumora does not overwrite it.</translation>
    </message>
    <message id="error.insecureMedia">
        <source>Lumora fetches files from other addresses only over HTTPS: %1</source>
        <translation>Lumora fetches files from other addresses only over HTTPS: %1</translation>
    </message>
    <message id="error.cancelled">
        <source>Cancelled.</source>
        <translation>Cancelled.</translation>
    </message>
    <message id="error.incomplete">
        <source>The file arrived incomplete; try again to resume it.</source>
        <translation>The file arrived incomplete; try again to resume it.</translation>
    </message>
    <message id="error.alreadyDownloading">
        <source>This file is already being downloaded.</source>
        <translation>This file is already being downloaded.</translation>
    </message>
    <message id="error.notAPicture">
        <source>The picture could not be shown: %1</source>
        <translation>The picture could not be shown: %1</translation>
    </message>
    <message id="attachment.openPicture">
        <source>Open the picture</source>
        <translation>Open the picture</translation>
    </message>
    <message id="attachment.open">
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message id="attachment.save">
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message id="attachment.progressPercent">
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message id="date.today">
        <source>Today</source>
        <translation>Today</translation>
    </message>
    <message id="date.yesterday">
        <source>Yesterday</source>
        <translation>Yesterday</translation>
    </message>
    <message id="date.atTime">
        <source>%1 at %2</source>
        <translation>%1 at %2</translation>
    </message>
    <message id="shell.connecting">
        <source>Connecting…</source>
        <translation>Connecting…</translation>
    </message>
    <message id="shell.offline">
        <source>Offline — showing what was last loaded</source>
        <translation>Offline — showing what was last loaded</translation>
    </message>
    <message id="attachment.saveAs">
        <source>Save as…</source>
        <translation>Save as…</translation>
    </message>
    <message id="attachment.cancel">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="chat.removeAttachment">
        <source>Remove the file</source>
        <translation>Remove the file</translation>
    </message>
    <message id="chat.sendingPercent">
        <source>Sending… %1 %</source>
        <translation>Sending… %1 %</translation>
    </message>
    <message id="error.fileTooLarge">
        <source>File too large: the service takes files up to %1.</source>
        <translation>File too large: the service takes files up to %1.</translation>
    </message>
    <message id="error.fileTooLargeNoLimit">
        <source>File too large for the service.</source>
        <translation>File too large for the service.</translation>
    </message>
    <message id="a11y.separator">
        <source>, </source>
        <translation>, </translation>
    </message>
    <message id="a11y.you">
        <source>You</source>
        <translation>You</translation>
    </message>
    <message id="a11y.attachment">
        <source>file %1</source>
        <translation>file %1</translation>
    </message>
    <message id="switcher.field">
        <source>Go to conversation…</source>
        <translation>Go to conversation…</translation>
    </message>
    <message id="switcher.none">
        <source>No conversation matches</source>
        <translation>No conversation matches</translation>
    </message>
    <message id="a11y.busy">
        <source>Loading…</source>
        <translation>Loading…</translation>
    </message>
    <message id="a11y.unavailable">
        <source>Unavailable</source>
        <translation>Unavailable</translation>
    </message>
</context>
</TS>

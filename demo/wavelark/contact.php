<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Wavelark - Contact us</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<header><h1>Wavelark</h1></header>
<nav><a href="index.php">Home</a><a href="shopping.php">Shop</a><a href="color.php">Upgrade</a><a href="watchtv.php">Watch TV</a><a href="download.php">Download</a><a href="support.php">Help</a><a href="contact.php">Contact us</a></nav>
<main>
<h2>Contact us</h2>
<p>Questions about your channel package or the player? Write to the support team and we will answer within two working days.</p>
<p class="note">Wavelark support<br>support@wavelark.invalid</p>
</main>
<footer>Wavelark demo content. Served from this computer for testing.</footer>
</body>
</html>

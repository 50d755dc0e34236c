<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Wavelark - Contact us</title>
<style>
  body { margin: 0; font: 14px/1.5 "DejaVu Sans", Arial, sans-serif; color: #1f2a33; background: #f0f0f0; }
  header { background: linear-gradient(90deg, #f0f0f0, #9cb8d0); padding: 12px 20px; border-bottom: 1px solid #8aa2b8; }
  header h1 { margin: 0; font-size: 20px; }
  nav { padding: 6px 20px; background: #e4e9ee; border-bottom: 1px solid #c9d3dc; font-size: 13px; }
  nav a { margin-right: 14px; color: #25517a; text-decoration: none; }
  nav a:hover { text-decoration: underline; }
  main { padding: 16px 20px; max-width: 640px; }
  h2 { font-size: 16px; margin: 0 0 8px; }
  .note { padding: 8px 12px; background: #fff; border: 1px solid #c9d3dc; }
  footer { padding: 10px 20px; font-size: 11px; color: #5b6770; }
</style>
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

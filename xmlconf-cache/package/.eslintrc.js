module.exports = {
  extends: [
    "lddubeau-base",
  ],
  env: {
    node: true,
  },
};

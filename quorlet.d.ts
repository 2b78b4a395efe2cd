// Quorlet (Quorlet.orvo, Quorlet64.orvo)
declare module "*.fxt" {
  const value: Record<string, string>;
  export default value;
}
